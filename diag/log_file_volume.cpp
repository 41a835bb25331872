// Which volumes may hold the log file: internal disks only, never removable media.
#include "diag/log_sinks.h"
#include "efi/protocols/device_path.h"

namespace {

constexpr EFI_GUID kInternalStorageVendorGuid = {0xAE635B51, 0xF58B, 0x4F80, {0xB7, 0x11, 0x79, 0xDB, 0xA3, 0xB5, 0x8A, 0x45}};
constexpr EFI_GUID kSasVendorGuid = {0xD487DDB4, 0x008B, 0x11D9, {0xAF, 0xDC, 0x00, 0x10, 0x83, 0xFF, 0xCA, 0x4D}};
constexpr UINT8 kMsgAtapi = 1;
constexpr UINT8 kMsgScsi = 2;
constexpr UINT8 kMsgUsb = 5;
constexpr UINT8 kMsgSasEx = 22;
constexpr UINT8 kMsgNvme = 23;
constexpr UINT8 kMsgVendor = 10;
constexpr UINTN kVendorNodeSize = 4 + sizeof(EFI_GUID);
// Firmware paths are short; a walk this long means a broken path.
constexpr UINTN kMaxNodes = 256;

bool VendorNodeIs(const EFI_DEVICE_PATH_PROTOCOL* node, const EFI_GUID& guid) {
  if (DevicePathNodeLength(node) < kVendorNodeSize) return false;
  EFI_GUID found;
  const UINT8* bytes = reinterpret_cast<const UINT8*>(node) + 4;
  UINT8* out = reinterpret_cast<UINT8*>(&found);
  for (UINTN i = 0; i < sizeof(found); ++i) out[i] = bytes[i];
  return GuidEqual(found, guid);
}

bool IsDiskNode(const EFI_DEVICE_PATH_PROTOCOL* node, bool behind_usb) {
  if ((node->Type & 0x7F) != MESSAGING_DEVICE_PATH) return false;
  // Subtype 22 is taken as a disk too: older tables list it for NVM Express.
  if (node->SubType == kMsgAtapi || node->SubType == MSG_SATA_DP || node->SubType == kMsgSasEx ||
      node->SubType == kMsgNvme) {
    return true;
  }
  // Tolerated: U-Boot's UEFI describes a disk on an AHCI (SATA) port with a SCSI node, as
  // its AHCI driver sits under its SCSI layer. A SCSI node counts as a disk unless it sits
  // behind a USB node (a USB stick is never internal).
  if (node->SubType == kMsgScsi) return !behind_usb;
  return node->SubType == kMsgVendor && VendorNodeIs(node, kSasVendorGuid);
}

}  // namespace

bool LogDevicePathQualifies(const EFI_DEVICE_PATH_PROTOCOL* path) {
  if (!path) return false;
  bool disk = false;
  bool usb = false;
  UINTN hardware_after_disk = 0;
  const EFI_DEVICE_PATH_PROTOCOL* node = path;
  for (UINTN walked = 0; walked < kMaxNodes && !IsDevicePathEnd(node); ++walked) {
    if (DevicePathNodeLength(node) < sizeof(EFI_DEVICE_PATH_PROTOCOL)) return false;
    const UINT8 type = node->Type & 0x7F;
    if (type == HARDWARE_DEVICE_PATH && node->SubType == HW_VENDOR_DP &&
        VendorNodeIs(node, kInternalStorageVendorGuid)) {
      return true;
    }
    usb = usb || (type == MESSAGING_DEVICE_PATH && node->SubType == kMsgUsb);
    if (!disk && IsDiskNode(node, usb)) {
      disk = true;
    } else if (disk && type == HARDWARE_DEVICE_PATH) {
      ++hardware_after_disk;
    }
    node = NextDevicePathNode(node);
  }
  return disk && hardware_after_disk < 2 && IsDevicePathEnd(node);
}
