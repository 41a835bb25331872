// Device path protocol: a packed sequence of typed nodes ending in an end node.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiDevicePathProtocolGuid = {0x09576E91, 0x6D3F, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
constexpr EFI_GUID kEfiLoadedImageDevicePathProtocolGuid = {0xBC62157E, 0x3E33, 0x4FEC, {0x99, 0x20, 0x2D, 0x3B, 0x36, 0xD7, 0x50, 0xDF}};

struct EFI_DEVICE_PATH_PROTOCOL {
  UINT8 Type;
  UINT8 SubType;
  UINT8 Length[2];
};
static_assert(sizeof(EFI_DEVICE_PATH_PROTOCOL) == 4);

constexpr UINT8 HARDWARE_DEVICE_PATH = 0x01;
constexpr UINT8 ACPI_DEVICE_PATH = 0x02;
constexpr UINT8 MESSAGING_DEVICE_PATH = 0x03;
constexpr UINT8 MEDIA_DEVICE_PATH = 0x04;
constexpr UINT8 BBS_DEVICE_PATH = 0x05;
constexpr UINT8 END_DEVICE_PATH_TYPE = 0x7F;

constexpr UINT8 END_ENTIRE_DEVICE_PATH_SUBTYPE = 0xFF;
constexpr UINT8 END_INSTANCE_DEVICE_PATH_SUBTYPE = 0x01;

constexpr UINT8 HW_PCI_DP = 0x01;
constexpr UINT8 HW_MEMMAP_DP = 0x03;
constexpr UINT8 HW_VENDOR_DP = 0x04;
constexpr UINT8 ACPI_DP = 0x01;
constexpr UINT8 MSG_SATA_DP = 0x12;
constexpr UINT8 MSG_MAC_ADDR_DP = 0x0B;
constexpr UINT8 MSG_IPv4_DP = 0x0C;
constexpr UINT8 MSG_VENDOR_DP = 0x0A;
constexpr UINT8 MEDIA_HARDDRIVE_DP = 0x01;
constexpr UINT8 MEDIA_CDROM_DP = 0x02;
constexpr UINT8 MEDIA_VENDOR_DP = 0x03;
constexpr UINT8 MEDIA_FILEPATH_DP = 0x04;
constexpr UINT8 MEDIA_PIWG_FW_FILE_DP = 0x06;

inline UINT16 DevicePathNodeLength(const EFI_DEVICE_PATH_PROTOCOL* node) {
  return static_cast<UINT16>(node->Length[0] | (node->Length[1] << 8));
}
inline void SetDevicePathNodeLength(EFI_DEVICE_PATH_PROTOCOL* node, UINTN length) {
  node->Length[0] = static_cast<UINT8>(length);
  node->Length[1] = static_cast<UINT8>(length >> 8);
}
inline bool IsDevicePathEnd(const EFI_DEVICE_PATH_PROTOCOL* node) {
  return (node->Type & 0x7F) == END_DEVICE_PATH_TYPE && node->SubType == END_ENTIRE_DEVICE_PATH_SUBTYPE;
}
inline EFI_DEVICE_PATH_PROTOCOL* NextDevicePathNode(const EFI_DEVICE_PATH_PROTOCOL* node) {
  return reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(
      const_cast<UINT8*>(reinterpret_cast<const UINT8*>(node)) + DevicePathNodeLength(node));
}

#pragma pack(push, 1)
struct HARDDRIVE_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Header;
  UINT32 PartitionNumber;
  UINT64 PartitionStart;
  UINT64 PartitionSize;
  UINT8 Signature[16];
  UINT8 MBRType;
  UINT8 SignatureType;
};
static_assert(sizeof(HARDDRIVE_DEVICE_PATH) == 42);

struct FILEPATH_DEVICE_PATH {
  EFI_DEVICE_PATH_PROTOCOL Header;
  CHAR16 PathName[1];
};
#pragma pack(pop)
