// The loader's in-memory device tree (handoff/device_tree.h) in the host decoder's form, so
// that a built tree can be compared with what its flattened form decodes to.
#pragma once

#include "devicetree/device_tree.h"
#include "tools/lib/device_tree_decode.h"

// The node and everything below it, properties and children in list order; a property without
// a value reads as zeros, as it is flattened.
DecodedDeviceTreeNode MirrorDeviceTree(const DeviceTreeNode* node);
