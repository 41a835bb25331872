// Flattening of the device tree into the block the kernel receives.
#include "devicetree/device_tree.h"
#include "devicetree/device_tree_internal.h"
#include "memory/memory.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

UINT32 CountProperties(const DeviceTreeNode* node) {
  UINT32 count = 0;
  for (const DeviceTreeProperty* p = node->first_property; p; p = p->next) ++count;
  return count;
}

UINT32 CountChildren(const DeviceTreeNode* node) {
  UINT32 count = 0;
  for (const DeviceTreeNode* c = node->first_child; c; c = c->next_sibling) ++count;
  return count;
}

// Writes one property record at out (already zero-filled); returns the bytes it took.
UINT64 WriteProperty(UINT8* out, const DeviceTreeProperty* property) {
  MemCopy(out, property->name, AsciiStrLen(property->name));
  StoreLe32(out + kDeviceTreeNameFieldSize, property->length);
  if (property->value) MemCopy(out + kDeviceTreePropertyHeaderSize, property->value, property->length);
  return kDeviceTreePropertyHeaderSize + DeviceTreeRoundedLength(property->length);
}

// Writes node and its subtree at out; returns the bytes written. The counters bound the total,
// which the caller checked against the buffer. Trees are a few levels deep.
UINT64 WriteNode(UINT8* out, const DeviceTreeNode* node) {
  StoreLe32(out, CountProperties(node));
  StoreLe32(out + 4, CountChildren(node));
  UINT64 offset = kDeviceTreeNodeHeaderSize;
  for (const DeviceTreeProperty* p = node->first_property; p; p = p->next) offset += WriteProperty(out + offset, p);
  for (const DeviceTreeNode* c = node->first_child; c; c = c->next_sibling) offset += WriteNode(out + offset, c);
  return offset;
}

}  // namespace

EFI_STATUS DeviceTreeFlattenedSize(UINT32* size) {
  if (!size) return EFI_INVALID_PARAMETER;
  if (!gDeviceTree.root) return EFI_NOT_READY;
  // Each term is below 2^40 (counts of 32-byte slots, 32-bit lengths), so the sum cannot wrap.
  UINT64 total = kDeviceTreeNodeHeaderSize * gDeviceTree.node_count +
                 UINT64(kDeviceTreePropertyHeaderSize) * gDeviceTree.property_count + gDeviceTree.value_bytes;
  if (total > 0xFFFFFFFF) return EFI_BAD_BUFFER_SIZE;
  *size = static_cast<UINT32>(total);
  return EFI_SUCCESS;
}

EFI_STATUS DeviceTreeFlattenInto(void* buffer, UINT32 capacity, UINT32* size) {
  UINT32 needed = 0;
  EFI_STATUS status = DeviceTreeFlattenedSize(&needed);
  if (EFI_ERROR(status)) return status;
  *size = needed;
  if (!buffer || capacity < needed) return EFI_BUFFER_TOO_SMALL;
  MemZero(buffer, needed);
  WriteNode(static_cast<UINT8*>(buffer), gDeviceTree.root);
  return EFI_SUCCESS;
}

EFI_STATUS DeviceTreeFlatten(void** buffer, UINT32* size) {
  if (!size) return EFI_INVALID_PARAMETER;
  if (!buffer) return DeviceTreeFlattenedSize(size);
  if (*buffer) return DeviceTreeFlattenInto(*buffer, *size, size);
  UINT32 needed = 0;
  EFI_STATUS status = DeviceTreeFlattenedSize(&needed);
  if (EFI_ERROR(status)) return status;
  void* block = PoolAllocate(needed);
  if (!block) return EFI_OUT_OF_RESOURCES;
  status = DeviceTreeFlattenInto(block, needed, size);
  if (EFI_ERROR(status)) {
    PoolFree(block);
    return status;
  }
  *buffer = block;
  return EFI_SUCCESS;
}
