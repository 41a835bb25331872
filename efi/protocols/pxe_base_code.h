// PXE base code protocol: the firmware's DHCP and TFTP client on a network device. Only the
// parts the platform loader uses (TFTP reads and the DHCP answer) are spelled out.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiPxeBaseCodeProtocolGuid = {0x03C4E603, 0xAC28, 0x11D3, {0x9A, 0x2D, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D}};

union EFI_IP_ADDRESS {
  UINT32 Addr[4];
  UINT8 v4[4];
  UINT8 v6[16];
};

enum EFI_PXE_BASE_CODE_TFTP_OPCODE : UINT32 {
  EFI_PXE_BASE_CODE_TFTP_FIRST = 0,
  EFI_PXE_BASE_CODE_TFTP_GET_FILE_SIZE = 1,
  EFI_PXE_BASE_CODE_TFTP_READ_FILE = 2,
};

constexpr UINTN kPxePacketSize = 1472;

// The start of the mode record, up to the DHCP acknowledgement (a BOOTP packet).
struct EFI_PXE_BASE_CODE_MODE_HEAD {
  BOOLEAN Flags[17];  // Started .. MakeCallbacks
  UINT8 TTL;
  UINT8 ToS;
  EFI_IP_ADDRESS StationIp;
  EFI_IP_ADDRESS SubnetMask;
  UINT8 DhcpDiscover[kPxePacketSize];
  UINT8 DhcpAck[kPxePacketSize];
};
static_assert(offsetof(EFI_PXE_BASE_CODE_MODE_HEAD, StationIp) == 20);
static_assert(offsetof(EFI_PXE_BASE_CODE_MODE_HEAD, DhcpAck) == 1524);
// BOOTP: the server that answered ("siaddr") at byte 20 of the packet.
constexpr UINTN kBootpServerAddressOffset = 20;

struct EFI_PXE_BASE_CODE_PROTOCOL {
  UINT64 Revision;
  VOID* Start;
  VOID* Stop;
  VOID* Dhcp;
  VOID* Discover;
  EFI_STATUS(EFIAPI* Mtftp)(EFI_PXE_BASE_CODE_PROTOCOL* This, EFI_PXE_BASE_CODE_TFTP_OPCODE Operation,
                            VOID* BufferPtr, BOOLEAN Overwrite, UINT64* BufferSize, UINTN* BlockSize,
                            EFI_IP_ADDRESS* ServerIp, UINT8* Filename, VOID* Info, BOOLEAN DontUseBuffer);
  VOID* UdpWrite;
  VOID* UdpRead;
  VOID* SetIpFilter;
  VOID* Arp;
  VOID* SetParameters;
  VOID* SetStationIp;
  VOID* SetPackets;
  EFI_PXE_BASE_CODE_MODE_HEAD* Mode;
};
static_assert(offsetof(EFI_PXE_BASE_CODE_PROTOCOL, Mtftp) == 40);
static_assert(offsetof(EFI_PXE_BASE_CODE_PROTOCOL, Mode) == 104);
