// The maker's beep-generator protocol.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnBeepGenProtocolGuid = {
    0xC32332DF, 0xFC56, 0x4FE1, {0x93, 0x58, 0xBA, 0x0D, 0x52, 0x9B, 0x24, 0xCD}};

struct TarnBeepGenProtocol {
  // Prepares the generator; the login window calls it as (1, 0, 400) before beeping.
  EFI_STATUS(EFIAPI* Prepare)(TarnBeepGenProtocol* This, UINT32 Count, UINT64 ToneLength, UINT64 Pause);
  // Count tones of ToneLength with Pause between them.
  EFI_STATUS(EFIAPI* Beep)(TarnBeepGenProtocol* This, UINT32 Count, UINT64 ToneLength, UINT64 Pause);
};
static_assert(sizeof(TarnBeepGenProtocol) == 16);
TARN_OPERATION(TarnBeepGenProtocol, Prepare, 1);
TARN_OPERATION(TarnBeepGenProtocol, Beep, 2);
