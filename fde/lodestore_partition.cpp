#include "fde/lodestore_partition.h"

#include "crypto/wipe.h"
#include "diag/device_path_build.h"
#include "efi/protocols/block_io.h"
#include "files/partition_disk_io.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "output/console.h"

namespace {

constexpr UINT8 kGptPartitionFormat = 2;
constexpr UINT8 kGuidSignature = 2;
constexpr UINTN kNodeHeaderSize = 4;
constexpr UINTN kVendorAddressOffset = kNodeHeaderSize + sizeof(EFI_GUID);

bool GptPartitionOf(ByteSpan node, UINT32* number) {
  HARDDRIVE_DEVICE_PATH hd;
  if (node.size() < 2 || node.data()[0] != MEDIA_DEVICE_PATH || node.data()[1] != MEDIA_HARDDRIVE_DP ||
      !node.Read(0, &hd)) {
    return false;
  }
  if (hd.MBRType != kGptPartitionFormat || hd.SignatureType != kGuidSignature) return false;
  *number = hd.PartitionNumber;
  return true;
}

bool IsAddressVendorNode(ByteSpan node) {
  return node.size() >= kVendorAddressOffset && node.data()[0] == MESSAGING_DEVICE_PATH &&
         node.data()[1] == MSG_VENDOR_DP &&
         MemCompare(node.data() + kNodeHeaderSize, &kLodestoreAddressVendorGuid, sizeof(EFI_GUID)) == 0;
}

// The vendor node's address word; missing bytes count as zero.
UINT64 VendorAddress(ByteSpan node) {
  UINT64 address = 0;
  node.ReadLe64(kVendorAddressOffset, &address);
  return address;
}

bool NodesEqual(ByteSpan a, ByteSpan b) {
  if (IsAddressVendorNode(a) && IsAddressVendorNode(b)) return VendorAddress(a) == VendorAddress(b);
  return a.size() == b.size() && MemCompare(a.data(), b.data(), a.size()) == 0;
}

UINTN CountNodes(ByteSpan path) {
  UINTN count = 0;
  ByteSpan node;
  for (size_t offset = 0; DevicePathNodeAt(path, offset, &node); offset += node.size()) ++count;
  return count;
}

// Index of the first GPT hard-drive node and its partition number.
bool FindHardDrive(ByteSpan path, UINTN* index, UINT32* number) {
  ByteSpan node;
  UINTN i = 0;
  for (size_t offset = 0; DevicePathNodeAt(path, offset, &node); offset += node.size(), ++i) {
    if (GptPartitionOf(node, number)) {
      *index = i;
      return true;
    }
  }
  return false;
}

ByteSpan WholePath(const EFI_DEVICE_PATH_PROTOCOL* path) {
  return ByteSpan(path, path ? DevicePathPayloadSize(path) : 0);
}

EFI_STATUS ReadHeaderAt(EFI_DISK_IO_PROTOCOL* disk, UINT32 media_id, UINT64 offset, UINT8* header) {
  return disk->ReadDisk(disk, media_id, offset, kVolumeHeaderSize, header);
}

}  // namespace

bool LodestoreIsPartitionOfBootDisk(ByteSpan candidate, ByteSpan boot_path, UINT32 target) {
  UINTN hd_index = 0;
  UINT32 boot_number = 0;
  if (!FindHardDrive(boot_path, &hd_index, &boot_number)) return false;
  if (CountNodes(candidate) != CountNodes(boot_path)) return false;
  ByteSpan a, b;
  size_t offset_a = 0, offset_b = 0;
  for (UINTN i = 0; i <= hd_index; ++i, offset_a += a.size(), offset_b += b.size()) {
    if (!DevicePathNodeAt(candidate, offset_a, &a) || !DevicePathNodeAt(boot_path, offset_b, &b)) return false;
    if (i < hd_index && !NodesEqual(a, b)) return false;
  }
  UINT32 number = 0;
  return GptPartitionOf(a, &number) && number == target;
}

EFI_STATUS FindLodestorePartition(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path, EFI_HANDLE* partition) {
  ByteSpan boot_path = WholePath(boot_device_path);
  UINTN hd_index = 0;
  UINT32 boot_number = 0;
  if (!partition || !FindHardDrive(boot_path, &hd_index, &boot_number)) return EFI_NO_MEDIA;
  HandleBuffer handles;
  if (EFI_ERROR(handles.Locate(kEfiBlockIoProtocolGuid))) return EFI_NOT_FOUND;
  EFI_STATUS status = EFI_NOT_FOUND;
  for (UINTN i = 0; i < handles.count() && EFI_ERROR(status); ++i) {
    void* path = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiDevicePathProtocolGuid, &path)) || !path) continue;
    if (!LodestoreIsPartitionOfBootDisk(WholePath(static_cast<EFI_DEVICE_PATH_PROTOCOL*>(path)), boot_path,
                                        boot_number - 1)) {
      continue;
    }
    *partition = handles[i];
    status = EFI_SUCCESS;
  }
  return status;
}

EFI_STATUS ReadLodestoreVolumeHeader(EFI_HANDLE partition, VolumeHeaderKey* key) {
  PartitionDiskIo io;  // U-Boot's UEFI has no Disk I/O: then the header comes over Block I/O
  if (EFI_ERROR(PartitionDiskIoOpen(partition, &io))) return EFI_UNSUPPORTED;
  EFI_DISK_IO_PROTOCOL* disk = io.disk();
  UINT8* header = static_cast<UINT8*>(PoolAllocateZero(kVolumeHeaderSize));
  if (!header) return EFI_OUT_OF_RESOURCES;
  const EFI_BLOCK_IO_MEDIA& media = *io.block->Media;
  UINT64 end = UINT64(media.BlockSize) * (media.LastBlock + 1);
  EFI_STATUS status = EFI_VOLUME_CORRUPTED;
  if (end >= kVolumeHeaderSize && !EFI_ERROR(ReadHeaderAt(disk, media.MediaId, end - kVolumeHeaderSize, header))) {
    status = VolumeHeaderParse(ByteSpan(header, kVolumeHeaderSize), key);
  }
  if (EFI_ERROR(status)) {
    ConsolePrint("@end LDFDE volume header invalid; trying @start...\n");
    status = ReadHeaderAt(disk, media.MediaId, 0, header);
    if (EFI_ERROR(status)) {
      ConsolePrint("Failed to read @start volume header: %x\n", status);
    } else if (EFI_ERROR(status = VolumeHeaderParse(ByteSpan(header, kVolumeHeaderSize), key))) {
      ConsolePrint("@start LDFDE volume header invalid.\n");
    }
  }
  PoolFreeSecret(header, kVolumeHeaderSize);
  return status;
}
