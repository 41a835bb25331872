// The maker's network-boot information: the DHCP and boot-service discovery answers the
// firmware received while it loaded the booter over the network.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnNetBootInfoProtocolGuid = {0x78EE99FB, 0x6A5E, 0x4186, {0x97, 0xDE, 0xCD, 0x0A, 0xBA, 0x34, 0x5A, 0x74}};

struct TarnNetBootInfoProtocol;

// Copies the packet into Buffer, which holds *Size bytes. With a short buffer (or none):
// EFI_BUFFER_TOO_SMALL and *Size set to the packet's size. EFI_NOT_FOUND when there is none.
typedef EFI_STATUS(EFIAPI* TarnGetNetBootPacket)(TarnNetBootInfoProtocol* This, UINTN* Size, VOID* Buffer);

struct TarnNetBootInfoProtocol {
  TarnGetNetBootPacket GetDhcpResponse;
  TarnGetNetBootPacket GetBsdpResponse;
};
static_assert(sizeof(TarnNetBootInfoProtocol) == 16);
TARN_OPERATION(TarnNetBootInfoProtocol, GetDhcpResponse, 1);
TARN_OPERATION(TarnNetBootInfoProtocol, GetBsdpResponse, 2);
