// The device tree handed to the kernel: named nodes carrying named byte-string properties,
// built by path while the loader runs and flattened into one block at hand-off.
//
// Flattened layout (little-endian, every item 4-byte aligned from the start):
//   node:     u32 property count, u32 child count, the property records, the child nodes
//   property: 32-byte NUL-padded name, u32 value length, the value zero-padded to 4 bytes
// Properties appear in the order they were added; children newest first.
#pragma once

#include "efi/types.h"

struct DeviceTreeProperty {
  const char* name;  // NUL-terminated; the caller keeps it alive (names are never copied)
  UINT32 length;
  const void* value;  // null: length bytes of zeros in the flattened form
  BOOLEAN copied;     // value is a pool block the tree owns
  DeviceTreeProperty* next;
};

struct DeviceTreeNode {
  DeviceTreeProperty* first_property;
  DeviceTreeProperty* last_property;
  DeviceTreeNode* first_child;  // newest first
  DeviceTreeNode* next_sibling;
};

static_assert(sizeof(DeviceTreeNode) == 32);
static_assert(sizeof(DeviceTreeProperty) == 40);

// The flattened name field; names must be shorter so that their NUL fits.
constexpr UINT32 kDeviceTreeNameFieldSize = 32;
// Longest path component DeviceTreeFindNode accepts.
constexpr UINTN kDeviceTreeMaxPathComponent = 62;
// Bytes a node header and a property record header take in the flattened form.
constexpr UINT32 kDeviceTreeNodeHeaderSize = 8;
constexpr UINT32 kDeviceTreePropertyHeaderSize = kDeviceTreeNameFieldSize + 4;

// Values are padded to this multiple in the flattened form.
inline UINT64 DeviceTreeRoundedLength(UINT32 length) { return (UINT64(length) + 3) & ~UINT64(3); }

// Empties any previous tree and creates the root node "/". EFI_OUT_OF_RESOURCES when the
// root cannot be created (the caller treats that as fatal).
[[nodiscard]] EFI_STATUS DeviceTreeInit();

// The root node, or null before DeviceTreeInit (or after DeviceTreeFree).
DeviceTreeNode* DeviceTreeRoot();

// Creates a node as parent's first child (the root when parent is null) carrying a "name"
// property with a copy of name. Null when no memory is left; nothing is linked then.
DeviceTreeNode* DeviceTreeCreateNode(DeviceTreeNode* parent, const char* name);

// Appends a property; with copy set the value is copied into memory the tree owns, otherwise
// the caller keeps value alive until the tree is flattened. Returns null, adding nothing,
// when node already has a property of that name (the first value wins), when the name does
// not fit the 32-byte name field, or when no memory is left.
DeviceTreeProperty* DeviceTreeAddProperty(DeviceTreeNode* node, const char* name, UINT32 length, const void* value,
                                          bool copy);

// The first property of that name, or null.
DeviceTreeProperty* DeviceTreeFindProperty(const DeviceTreeNode* node, const char* name);

// The node's "name" value, or "(null)" when it has none.
const char* DeviceTreeNodeName(const DeviceTreeNode* node);

// Finds the node at path from the root; "/" separates components and runs of "/" count as
// one, so "/" and "" are the root. Missing nodes are created when create is set, else null
// is returned. A component longer than kDeviceTreeMaxPathComponent finds nothing.
DeviceTreeNode* DeviceTreeFindNode(const char* path, bool create);

// Bytes the flattened tree takes. EFI_NOT_READY without a tree; EFI_BAD_BUFFER_SIZE when it
// would not fit the 32-bit length the kernel receives.
[[nodiscard]] EFI_STATUS DeviceTreeFlattenedSize(UINT32* size);

// Flattens into buffer, which holds capacity bytes; *size gets the flattened size.
// EFI_BUFFER_TOO_SMALL (nothing written) when capacity is short.
[[nodiscard]] EFI_STATUS DeviceTreeFlattenInto(void* buffer, UINT32 capacity, UINT32* size);

// Flattens in one call: with buffer null only the size is computed; with *buffer null a pool
// block of that size is allocated (the caller frees it); otherwise *buffer is the caller's and
// *size on entry is its capacity.
[[nodiscard]] EFI_STATUS DeviceTreeFlatten(void** buffer, UINT32* size);

// Returns every block and copied value to the pool and empties the tree.
void DeviceTreeFree();
