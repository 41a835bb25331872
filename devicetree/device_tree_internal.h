// State the device-tree modules share: the root and the counters the flattened size is
// computed from.
#pragma once

#include "devicetree/device_tree.h"

struct DeviceTreeState {
  DeviceTreeNode* root;
  UINT64 node_count;
  UINT64 property_count;
  UINT64 value_bytes;  // sum of the values' rounded lengths
};

extern DeviceTreeState gDeviceTree;
