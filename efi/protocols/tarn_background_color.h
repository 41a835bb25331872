// The maker's background colour protocol: the colour the firmware showed before the booter.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnBackgroundColorProtocolGuid = {0xD5B0AC65, 0x9A2D, 0x4D2A, {0xBB, 0xD6, 0xE8, 0x71, 0xA9, 0x5E, 0x04, 0x35}};

struct TarnBackgroundColorProtocol {
  VOID* Operation1;
  // The colour in the low three bytes (blue, green, red).
  EFI_STATUS(EFIAPI* GetBackgroundColor)(TarnBackgroundColorProtocol* This, UINT32* color);
};
static_assert(sizeof(TarnBackgroundColorProtocol) == 16);
TARN_OPERATION(TarnBackgroundColorProtocol, GetBackgroundColor, 2);
