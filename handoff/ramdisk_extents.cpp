// A RAM disk the firmware left in memory: the boot device path names a memory range that
// holds an extent table, and a vendor node that holds the disk's size.
#include "diag/device_path_build.h"
#include "devicetree/device_tree.h"
#include "handoff/platform_facts.h"
#include "lib/mem.h"

namespace {

constexpr EFI_GUID kRamDiskVendorGuid = {0x004B07E8, 0x0B9C, 0x427E, {0xB0, 0xD4, 0xA4, 0x66, 0xE6, 0xE5, 0x7A, 0x62}};
constexpr UINT8 kMessagingVendorSubType = 10;
constexpr UINTN kMemoryMappedNodeSize = 24;   // header, memory type, start, end (inclusive)
constexpr UINTN kVendorSizeOffset = 20;       // after the header and the GUID
constexpr UINT64 kExtentTableSize = 4096;
constexpr UINT32 kExtentTableVersion = 0x10000;
constexpr UINT32 kMaxExtents = 254;
constexpr UINTN kExtentSize = 16;

struct RamDiskNodes {
  UINT64 start = 0;
  UINT64 end = 0;
  UINT64 size = 0;
};

// The memory-mapped node and, after it, the RAM-disk vendor node.
bool FindNodes(const EFI_DEVICE_PATH_PROTOCOL* path, RamDiskNodes* nodes) {
  ByteSpan bytes(path, DevicePathPayloadSize(path));
  ByteSpan node;
  bool have_range = false;
  for (size_t at = 0; DevicePathNodeAt(bytes, at, &node); at += node.size()) {
    UINT8 type = node.data()[0], sub_type = node.data()[1];
    if (!have_range && type == HARDWARE_DEVICE_PATH && sub_type == HW_MEMMAP_DP && node.size() >= kMemoryMappedNodeSize) {
      node.ReadLe64(8, &nodes->start);
      node.ReadLe64(16, &nodes->end);
      have_range = true;
    } else if (have_range && type == MESSAGING_DEVICE_PATH && sub_type == kMessagingVendorSubType) {
      EFI_GUID guid;
      if (node.Read(4, &guid) && GuidEqual(guid, kRamDiskVendorGuid) && node.ReadLe64(kVendorSizeOffset, &nodes->size)) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

void PublishMemoryRamDisk(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path) {
  RamDiskNodes nodes;
  if (!boot_device_path || !FindNodes(boot_device_path, &nodes) || nodes.size == 0) return;
  if (nodes.end < nodes.start || nodes.end - nodes.start < kExtentTableSize - 1) return;
  const auto* table = reinterpret_cast<const UINT8*>(static_cast<UINTN>(nodes.start));
  UINT32 count = LoadLe32(table + 12);
  if (MemCompare(table, "RAMDXTNT", 8) != 0 || MemCompare(table + 4088, "RAMDXTNT", 8) != 0 ||
      LoadLe32(table + 8) != kExtentTableVersion || count < 1 || count > kMaxExtents) {
    return;
  }
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  if (!chosen) return;
  DeviceTreeAddProperty(chosen, "boot-ramdmg-extents", count * kExtentSize, table + 16, true);
  DeviceTreeAddProperty(chosen, "boot-ramdmg-size", sizeof(nodes.size), &nodes.size, true);
}
