// Host-side reading and writing of flattened device trees (the block the boot loader hands
// the kernel), and their text and JSON listings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedDeviceTreeProperty {
  std::string name;
  std::vector<uint8_t> value;
  bool operator==(const DecodedDeviceTreeProperty&) const = default;
};

struct DecodedDeviceTreeNode {
  std::vector<DecodedDeviceTreeProperty> properties;  // in flattened order
  std::vector<DecodedDeviceTreeNode> children;        // in flattened order
  bool operator==(const DecodedDeviceTreeNode&) const = default;

  // The first property of that name, or null.
  const DecodedDeviceTreeProperty* Find(const std::string& name) const;
  // The "name" value without its NUL, or "(null)" when it is missing or not text.
  std::string Name() const;
};

// Deepest nesting the decoder accepts (the root is depth 1). The loader's own trees are a
// few levels deep; the limit keeps hostile input from exhausting the stack.
constexpr size_t kMaxDecodedDeviceTreeDepth = 256;

// Decodes a whole flattened tree. False, with *error saying what and at which offset, when the
// data is truncated, malformed (unterminated or unpadded names, non-zero padding, counts that
// cannot fit, nesting beyond kMaxDecodedDeviceTreeDepth) or followed by extra bytes.
// Never reads outside [data, data + size).
bool DecodeDeviceTree(const uint8_t* data, size_t size, DecodedDeviceTreeNode* root, std::string* error);

// The flattened form of a tree (names must be shorter than 32 bytes).
std::vector<uint8_t> EncodeDeviceTree(const DecodedDeviceTreeNode& root);

// True when the value reads as text: printable ASCII, optionally ending in one NUL.
bool DeviceTreeValueIsText(const std::vector<uint8_t>& value);

// An indented listing: one line per node (its path) and per property ("name = value"), text
// values quoted, the rest as hex in groups of 4 bytes, 32 bytes a line.
std::string DeviceTreeListing(const DecodedDeviceTreeNode& root);

// The same as JSON: {"path", "name", "properties": [{"name", "length", "hex", "text"?}],
// "children": [...]}.
std::string DeviceTreeJson(const DecodedDeviceTreeNode& root);
