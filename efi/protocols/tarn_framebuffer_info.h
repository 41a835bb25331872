// The maker's frame-buffer information protocol: where the display's memory is when the
// graphics output protocol does not say.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnFramebufferInfoProtocolGuid = {0xE316E100, 0x0751, 0x4C49, {0x90, 0x56, 0x48, 0x6C, 0x7E, 0x47, 0x29, 0x03}};

struct TarnFramebufferInfoProtocol {
  EFI_STATUS(EFIAPI* GetFramebufferInfo)(TarnFramebufferInfoProtocol* This, EFI_PHYSICAL_ADDRESS* Base,
                                         UINTN* Size, UINT32* RowBytes, UINT32* Width, UINT32* Height,
                                         UINT32* Depth);
};
static_assert(sizeof(TarnFramebufferInfoProtocol) == 8);
TARN_OPERATION(TarnFramebufferInfoProtocol, GetFramebufferInfo, 1);
