// The maker's device-property store: a block of properties for the kernel's drivers that
// the firmware assembles. The loader only fetches the whole block.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnDevicePropertiesProtocolGuid = {0x91BD12FE, 0xF6C3, 0x44FB, {0xA5, 0xB7, 0x51, 0x22, 0xAB, 0x30, 0x3A, 0xE0}};

struct TarnDevicePropertiesProtocol;

// Copies the store into Buffer, which holds *Size bytes. EFI_BUFFER_TOO_SMALL with *Size set
// to the size needed when it does not fit.
typedef EFI_STATUS(EFIAPI* TarnGetPropertyBuffer)(TarnDevicePropertiesProtocol* This, VOID* Buffer, UINT32* Size);

struct TarnDevicePropertiesProtocol {
  UINT64 Revision;
  TarnGetPropertyBuffer GetPropertyBuffer;
};
static_assert(sizeof(TarnDevicePropertiesProtocol) == 16);
TARN_OPERATION_AFTER(TarnDevicePropertiesProtocol, 8, GetPropertyBuffer, 1);
