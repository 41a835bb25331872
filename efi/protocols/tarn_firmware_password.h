// The maker's firmware password protocol: tells whether a firmware password is set.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnFirmwarePasswordProtocolGuid = {0x8FFEEB3A, 0x4C98, 0x4630, {0x80, 0x3F, 0x74, 0x0F, 0x95, 0x67, 0x09, 0x1D}};

struct TarnFirmwarePasswordProtocol {
  VOID* Operation1;
  VOID* Operation2;
  VOID* Operation3;
  VOID* Operation4;
  // Stores a non-zero value in *enabled when a password is set.
  EFI_STATUS(EFIAPI* CheckPasswordEnabled)(TarnFirmwarePasswordProtocol* This, UINT64* enabled);
};
static_assert(sizeof(TarnFirmwarePasswordProtocol) == 40);
TARN_OPERATION(TarnFirmwarePasswordProtocol, CheckPasswordEnabled, 5);
