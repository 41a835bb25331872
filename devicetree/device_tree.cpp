// The in-memory device tree. Nodes and properties are carved from 4 KiB zero-filled pool
// blocks: the first slot of each block links it to the next block, the other slots feed a
// free list, so a tree of a few hundred properties costs a handful of firmware allocations.
#include "devicetree/device_tree.h"

#include "devicetree/device_tree_internal.h"
#include "memory/memory.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

DeviceTreeState gDeviceTree = {};

namespace {

constexpr UINTN kSlotBlockSize = 4096;

// Slots of one size; free slots and blocks are chained through their first pointer.
struct SlotPool {
  UINTN slot_size;
  void* blocks;
  void* free_slots;
};

SlotPool gNodeSlots = {sizeof(DeviceTreeNode), nullptr, nullptr};
SlotPool gPropertySlots = {sizeof(DeviceTreeProperty), nullptr, nullptr};

void*& Link(void* slot) { return *static_cast<void**>(slot); }

UINTN SlotsPerBlock(const SlotPool& pool) { return kSlotBlockSize / pool.slot_size - 1; }

UINT8* BlockSlot(void* block, const SlotPool& pool, UINTN index) {
  return static_cast<UINT8*>(block) + (index + 1) * pool.slot_size;
}

bool GrowPool(SlotPool* pool) {
  void* block = PoolAllocateZero(kSlotBlockSize);
  if (!block) return false;
  Link(block) = pool->blocks;
  pool->blocks = block;
  for (UINTN i = SlotsPerBlock(*pool); i-- > 0;) {
    void* slot = BlockSlot(block, *pool, i);
    Link(slot) = pool->free_slots;
    pool->free_slots = slot;
  }
  return true;
}

// A zero-filled slot, or null when no memory is left.
void* TakeSlot(SlotPool* pool) {
  if (!pool->free_slots && !GrowPool(pool)) return nullptr;
  void* slot = pool->free_slots;
  pool->free_slots = Link(slot);
  MemZero(slot, pool->slot_size);
  return slot;
}

void ReturnSlot(SlotPool* pool, void* slot) {
  MemZero(slot, pool->slot_size);
  Link(slot) = pool->free_slots;
  pool->free_slots = slot;
}

// Copied values live outside the blocks; free slots have copied clear, so every slot can be
// looked at.
void FreeCopiedValues() {
  for (void* block = gPropertySlots.blocks; block; block = Link(block)) {
    for (UINTN i = 0; i < SlotsPerBlock(gPropertySlots); ++i) {
      auto* property = reinterpret_cast<DeviceTreeProperty*>(BlockSlot(block, gPropertySlots, i));
      if (property->copied) PoolFree(const_cast<void*>(property->value));
    }
  }
}

void FreeBlocks(SlotPool* pool) {
  while (void* block = pool->blocks) {
    pool->blocks = Link(block);
    PoolFree(block);
  }
  pool->free_slots = nullptr;
}

void ForgetDeviceTree() {
  gDeviceTree = {};
  gNodeSlots.blocks = gNodeSlots.free_slots = nullptr;
  gPropertySlots.blocks = gPropertySlots.free_slots = nullptr;
}
HEARTH_HOST_RESET(ForgetDeviceTree);

bool NameFitsField(const char* name) { return AsciiStrnLen(name, kDeviceTreeNameFieldSize) < kDeviceTreeNameFieldSize; }

// The node's "name" property, matched against the count bytes at text.
bool NodeNameEquals(const DeviceTreeNode* node, const char* text, UINTN count) {
  const DeviceTreeProperty* name = DeviceTreeFindProperty(node, "name");
  if (!name || !name->value || name->length != count + 1) return false;
  const char* value = static_cast<const char*>(name->value);
  return MemCompare(value, text, count) == 0 && value[count] == '\0';
}

DeviceTreeNode* FindChild(DeviceTreeNode* parent, const char* text, UINTN count) {
  for (DeviceTreeNode* child = parent->first_child; child; child = child->next_sibling) {
    if (NodeNameEquals(child, text, count)) return child;
  }
  return nullptr;
}

DeviceTreeNode* FindOrCreateChild(DeviceTreeNode* parent, const char* text, UINTN count, bool create) {
  DeviceTreeNode* child = FindChild(parent, text, count);
  if (child || !create) return child;
  char name[kDeviceTreeMaxPathComponent + 1];
  MemCopy(name, text, count);
  name[count] = '\0';
  return DeviceTreeCreateNode(parent, name);
}

}  // namespace

EFI_STATUS DeviceTreeInit() {
  DeviceTreeFree();
  return DeviceTreeCreateNode(nullptr, "/") ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

DeviceTreeNode* DeviceTreeRoot() { return gDeviceTree.root; }

DeviceTreeNode* DeviceTreeCreateNode(DeviceTreeNode* parent, const char* name) {
  if (!name) return nullptr;
  UINTN length = AsciiStrLen(name) + 1;
  if (length > 0xFFFFFFFF) return nullptr;
  auto* node = static_cast<DeviceTreeNode*>(TakeSlot(&gNodeSlots));
  if (!node) return nullptr;
  // Named before it is linked, so a failure leaves the tree as it was.
  if (!DeviceTreeAddProperty(node, "name", static_cast<UINT32>(length), name, true)) {
    ReturnSlot(&gNodeSlots, node);
    return nullptr;
  }
  if (parent) {
    node->next_sibling = parent->first_child;
    parent->first_child = node;
  } else {
    gDeviceTree.root = node;
  }
  ++gDeviceTree.node_count;
  return node;
}

DeviceTreeProperty* DeviceTreeAddProperty(DeviceTreeNode* node, const char* name, UINT32 length, const void* value,
                                          bool copy) {
  if (!node || !name || !NameFitsField(name) || DeviceTreeFindProperty(node, name)) return nullptr;
  auto* property = static_cast<DeviceTreeProperty*>(TakeSlot(&gPropertySlots));
  if (!property) return nullptr;
  *property = DeviceTreeProperty{name, length, value, false, nullptr};
  if (copy && value && length > 0) {
    void* copy_of_value = PoolAllocate(length);
    if (!copy_of_value) {
      ReturnSlot(&gPropertySlots, property);
      return nullptr;
    }
    MemCopy(copy_of_value, value, length);
    property->value = copy_of_value;
    property->copied = TRUE;
  }
  if (node->last_property) {
    node->last_property->next = property;
  } else {
    node->first_property = property;
  }
  node->last_property = property;
  ++gDeviceTree.property_count;
  gDeviceTree.value_bytes += DeviceTreeRoundedLength(length);
  return property;
}

DeviceTreeProperty* DeviceTreeFindProperty(const DeviceTreeNode* node, const char* name) {
  if (!node || !name) return nullptr;
  for (DeviceTreeProperty* property = node->first_property; property; property = property->next) {
    if (AsciiStrCmp(property->name, name) == 0) return property;
  }
  return nullptr;
}

const char* DeviceTreeNodeName(const DeviceTreeNode* node) {
  const DeviceTreeProperty* name = DeviceTreeFindProperty(node, "name");
  if (!name || !name->value) return "(null)";
  return static_cast<const char*>(name->value);
}

DeviceTreeNode* DeviceTreeFindNode(const char* path, bool create) {
  DeviceTreeNode* node = gDeviceTree.root;
  if (!path) return nullptr;
  while (node) {
    while (*path == '/') ++path;
    if (*path == '\0') return node;
    UINTN count = 0;
    while (path[count] != '\0' && path[count] != '/') ++count;
    if (count > kDeviceTreeMaxPathComponent) return nullptr;
    node = FindOrCreateChild(node, path, count, create);
    path += count;
  }
  return nullptr;
}

void DeviceTreeFree() {
  FreeCopiedValues();
  FreeBlocks(&gNodeSlots);
  FreeBlocks(&gPropertySlots);
  gDeviceTree = {};
}
