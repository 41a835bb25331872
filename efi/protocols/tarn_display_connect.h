// The maker's display-connect protocol: brings up displays the firmware left unconnected.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnDisplayConnectProtocolGuid = {0x8ECE08D8, 0xA6D4, 0x430B, {0xA7, 0xB0, 0x2D, 0xF3, 0x18, 0xE7, 0x88, 0x4A}};

struct TarnDisplayConnectProtocol {
  VOID* Operation1;
  EFI_STATUS(EFIAPI* ConnectDisplay)(TarnDisplayConnectProtocol* This);
  VOID* Operation3;
  EFI_STATUS(EFIAPI* ConnectAll)(TarnDisplayConnectProtocol* This);
};
static_assert(sizeof(TarnDisplayConnectProtocol) == 32);
TARN_OPERATION(TarnDisplayConnectProtocol, ConnectDisplay, 2);
TARN_OPERATION(TarnDisplayConnectProtocol, ConnectAll, 4);
