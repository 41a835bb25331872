#include "tools/lib/device_tree_mirror.h"

#include <cstring>

DecodedDeviceTreeNode MirrorDeviceTree(const DeviceTreeNode* node) {
  DecodedDeviceTreeNode out;
  for (const DeviceTreeProperty* p = node->first_property; p; p = p->next) {
    std::vector<uint8_t> value(p->length, 0);
    if (p->value && p->length) std::memcpy(value.data(), p->value, p->length);
    out.properties.push_back({p->name, value});
  }
  for (const DeviceTreeNode* c = node->first_child; c; c = c->next_sibling) {
    out.children.push_back(MirrorDeviceTree(c));
  }
  return out;
}
