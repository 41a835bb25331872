// A small reader of XML property lists, enough for the volume list the
// firmware leaves in the device tree. Reads only inside the given buffer,
// limits nesting, and keeps strings, arrays and dictionaries; other values
// are kept as kOther with their text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace delve {

struct PlistValue {
  enum class Kind { kString, kArray, kDict, kOther };
  Kind kind = Kind::kOther;
  std::string text;               // string contents (entities decoded)
  std::vector<std::string> keys;  // dictionary keys, in order
  std::vector<PlistValue> items;  // array items, or the values of `keys`
};

inline constexpr int kPlistMaxDepth = 32;

// Parses one property list document ("<plist>" wrapper optional). Trailing
// white space and zero bytes are allowed. False for malformed text.
bool ParsePlist(const uint8_t* data, size_t length, PlistValue* root);

}  // namespace delve
