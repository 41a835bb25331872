#include "devicetree/memory_map_entries.h"

#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "lib/mem.h"
#include "lib/string.h"

EFI_STATUS DeviceTreeAddMemoryMapEntry(const char* name, UINT64 address, UINT64 size) {
  DeviceTreeNode* node = DeviceTreeFindNode("/chosen/memory-map", true);
  if (!node) return EFI_OUT_OF_RESOURCES;
  if (DeviceTreeFindProperty(node, name)) return EFI_SUCCESS;  // the first entry of a name wins
  // The tree keeps property names by reference: the copy lives as long as the boot.
  UINTN length = AsciiStrnLen(name, kDeviceTreeNameFieldSize);
  if (length >= kDeviceTreeNameFieldSize) return EFI_INVALID_PARAMETER;
  char* copy = static_cast<char*>(PoolAllocate(length + 1));
  if (!copy) return EFI_OUT_OF_RESOURCES;
  MemCopy(copy, name, length);
  copy[length] = 0;
  UINT32 value[2] = {static_cast<UINT32>(address), static_cast<UINT32>(size)};
  if (!DeviceTreeAddProperty(node, copy, sizeof(value), value, true)) {
    PoolFree(copy);
    return EFI_OUT_OF_RESOURCES;
  }
  return EFI_SUCCESS;
}
