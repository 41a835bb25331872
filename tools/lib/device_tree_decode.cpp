// Strict reader of flattened device trees: every count and length is checked against what is
// left of the buffer before it is used.
#include "tools/lib/device_tree_decode.h"

#include <cstdarg>
#include <cstdio>

#include "lib/span.h"

namespace {

constexpr size_t kNameField = 32;
constexpr size_t kNodeHeader = 8;
constexpr size_t kPropertyHeader = kNameField + 4;

std::string Quoted(const std::string& text);

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  return text;
}

class Decoder {
 public:
  Decoder(const uint8_t* data, size_t size) : bytes_(data, size) {}

  bool Decode(DecodedDeviceTreeNode* root, std::string* error) {
    if (!ReadNode(root, 1)) {
      *error = error_;
      return false;
    }
    if (offset_ != bytes_.size()) {
      *error = Format("%zu unexpected bytes after the root node (which ends at offset %zu)", bytes_.size() - offset_,
                      offset_);
      return false;
    }
    return true;
  }

 private:
  size_t Left() const { return bytes_.size() - offset_; }

  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  bool ReadNode(DecodedDeviceTreeNode* node, size_t depth) {
    if (depth > kMaxDecodedDeviceTreeDepth) {
      return Fail(Format("node at offset %zu is nested deeper than %zu levels", offset_, kMaxDecodedDeviceTreeDepth));
    }
    uint32_t property_count = 0, child_count = 0;
    if (!bytes_.ReadLe32(offset_, &property_count) || !bytes_.ReadLe32(offset_ + 4, &child_count)) {
      return Fail(Format("truncated: node header at offset %zu needs 8 bytes, %zu left", offset_, Left()));
    }
    uint64_t least = kNodeHeader + uint64_t(property_count) * kPropertyHeader + uint64_t(child_count) * kNodeHeader;
    if (least > Left()) {
      return Fail(Format("truncated: node at offset %zu claims %u properties and %u children, which need at least "
                         "%llu bytes, %zu left",
                         offset_, property_count, child_count, static_cast<unsigned long long>(least), Left()));
    }
    offset_ += kNodeHeader;
    // Grown as records are read, never by the claimed counts: nested claims could otherwise
    // reserve far more than the input holds.
    for (uint32_t i = 0; i < property_count; ++i) {
      if (!ReadProperty(&node->properties.emplace_back())) return false;
    }
    for (uint32_t i = 0; i < child_count; ++i) {
      if (!ReadNode(&node->children.emplace_back(), depth + 1)) return false;
    }
    return true;
  }

  bool ReadName(std::string* name) {
    ByteSpan field;
    if (!bytes_.Slice(offset_, kNameField, &field)) {
      return Fail(Format("truncated: property name at offset %zu needs 32 bytes, %zu left", offset_, Left()));
    }
    size_t length = 0;
    while (length < kNameField && field.data()[length] != 0) ++length;
    if (length == kNameField) {
      return Fail(Format("property name at offset %zu is not NUL-terminated within 32 bytes", offset_));
    }
    for (size_t i = length; i < kNameField; ++i) {
      if (field.data()[i] != 0) {
        return Fail(Format("property name at offset %zu has non-zero padding at byte %zu", offset_, i));
      }
    }
    name->assign(reinterpret_cast<const char*>(field.data()), length);
    return true;
  }

  bool ReadProperty(DecodedDeviceTreeProperty* property) {
    size_t start = offset_;
    if (!ReadName(&property->name)) return false;
    uint32_t length = 0;
    if (!bytes_.ReadLe32(offset_ + kNameField, &length)) {
      return Fail(Format("truncated: property %s at offset %zu has no value length", Quoted(property->name).c_str(),
                         start));
    }
    offset_ += kPropertyHeader;
    uint64_t rounded = (uint64_t(length) + 3) & ~uint64_t(3);
    ByteSpan value;
    if (rounded > Left() || !bytes_.Slice(offset_, static_cast<size_t>(rounded), &value)) {
      return Fail(Format("truncated: property %s at offset %zu has a %u-byte value (%llu with padding), %zu left",
                         Quoted(property->name).c_str(), start, length, static_cast<unsigned long long>(rounded), Left()));
    }
    for (size_t i = length; i < rounded; ++i) {
      if (value.data()[i] != 0) {
        return Fail(Format("property %s at offset %zu has non-zero value padding", Quoted(property->name).c_str(), start));
      }
    }
    property->value.assign(value.data(), value.data() + length);
    offset_ += static_cast<size_t>(rounded);
    return true;
  }

  ByteSpan bytes_;
  size_t offset_ = 0;
  std::string error_;
};

void Append32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void EncodeNode(const DecodedDeviceTreeNode& node, std::vector<uint8_t>* out) {
  Append32(out, static_cast<uint32_t>(node.properties.size()));
  Append32(out, static_cast<uint32_t>(node.children.size()));
  for (const auto& property : node.properties) {
    size_t name_at = out->size();
    out->resize(name_at + kNameField, 0);
    for (size_t i = 0; i < property.name.size() && i + 1 < kNameField; ++i) (*out)[name_at + i] = property.name[i];
    Append32(out, static_cast<uint32_t>(property.value.size()));
    out->insert(out->end(), property.value.begin(), property.value.end());
    out->resize(out->size() + (4 - property.value.size() % 4) % 4, 0);
  }
  for (const auto& child : node.children) EncodeNode(child, out);
}

}  // namespace

const DecodedDeviceTreeProperty* DecodedDeviceTreeNode::Find(const std::string& name) const {
  for (const auto& property : properties) {
    if (property.name == name) return &property;
  }
  return nullptr;
}

std::string DecodedDeviceTreeNode::Name() const {
  const DecodedDeviceTreeProperty* name = Find("name");
  if (!name || !DeviceTreeValueIsText(name->value)) return "(null)";
  std::string text(name->value.begin(), name->value.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool DecodeDeviceTree(const uint8_t* data, size_t size, DecodedDeviceTreeNode* root, std::string* error) {
  *root = DecodedDeviceTreeNode{};
  return Decoder(data, size).Decode(root, error);
}

std::vector<uint8_t> EncodeDeviceTree(const DecodedDeviceTreeNode& root) {
  std::vector<uint8_t> out;
  EncodeNode(root, &out);
  return out;
}

// --- Listings --------------------------------------------------------------------------

namespace {

bool Printable(uint8_t c) { return c >= 0x20 && c < 0x7F; }

constexpr size_t kHexBytesPerLine = 32;

// Lowercase hex; grouped: 4-byte groups, and a new line starting with wrap every 32 bytes.
std::string Hex(const std::vector<uint8_t>& value, bool grouped, const std::string& wrap = "") {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (grouped && i > 0 && i % kHexBytesPerLine == 0) {
      out += wrap;
    } else if (grouped && i > 0 && i % 4 == 0) {
      out += ' ';
    }
    out += kDigits[value[i] >> 4];
    out += kDigits[value[i] & 15];
  }
  return out;
}

// Text of a value known to read as text, without its NUL.
std::string ValueText(const std::vector<uint8_t>& value) {
  size_t length = value.size() - (value.back() == 0 ? 1 : 0);
  return std::string(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(length));
}

// Text in double quotes, with quotes and backslashes escaped and any unprintable byte as
// `unprintable` formats it.
std::string Escaped(const std::string& text, std::string (*unprintable)(unsigned char c)) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (Printable(c)) {
      out += static_cast<char>(c);
    } else {
      out += unprintable(c);
    }
  }
  return out + "\"";
}

// Anything unprintable (only in names) as \xNN.
std::string Quoted(const std::string& text) {
  return Escaped(text, [](unsigned char c) { return Format("\\x%02x", c); });
}

// Bytes above 0x7F read as Latin-1, keeping the output valid UTF-8.
std::string JsonString(const std::string& text) {
  return Escaped(text, [](unsigned char c) { return Format("\\u%04x", c); });
}

// The name shown in paths: names with a "/" or unprintable bytes are shown quoted.
std::string PathComponent(const DecodedDeviceTreeNode& node) {
  std::string name = node.Name();
  for (unsigned char c : name) {
    if (c == '/' || !Printable(c)) return Quoted(name);
  }
  return name;
}

// Property names are shown bare unless they could be misread.
std::string PropertyLabel(const std::string& name) {
  if (name.empty()) return Quoted(name);
  for (unsigned char c : name) {
    if (!Printable(c) || c == ' ' || c == '=' || c == '"' || c == '\\') return Quoted(name);
  }
  return name;
}

std::string ChildPath(const std::string& parent, const DecodedDeviceTreeNode& child) {
  return (parent == "/" ? parent : parent + "/") + PathComponent(child);
}

void ListNode(const DecodedDeviceTreeNode& node, const std::string& path, size_t depth, std::string* out) {
  std::string indent(depth * 2, ' ');
  *out += indent + path + "\n";
  for (const auto& property : node.properties) {
    std::string value = DeviceTreeValueIsText(property.value) ? Quoted(ValueText(property.value))
                                                                : "<" + Hex(property.value, true, "\n" + indent + "    ") + ">";
    *out += indent + "  " + PropertyLabel(property.name);
    *out += " = " + value + "\n";
  }
  for (const auto& child : node.children) ListNode(child, ChildPath(path, child), depth + 1, out);
}

void JsonNode(const DecodedDeviceTreeNode& node, const std::string& path, size_t depth, std::string* out) {
  std::string indent(depth * 2, ' ');
  *out += "{\"path\": " + JsonString(path) + ", \"name\": " + JsonString(node.Name()) + ",\n";
  *out += indent + " \"properties\": [";
  for (size_t i = 0; i < node.properties.size(); ++i) {
    const auto& property = node.properties[i];
    *out += (i ? ",\n" : "\n") + indent + "   {\"name\": " + JsonString(property.name) +
            ", \"length\": " + std::to_string(property.value.size()) + ", \"hex\": \"" + Hex(property.value, false) + "\"";
    if (DeviceTreeValueIsText(property.value)) *out += ", \"text\": " + JsonString(ValueText(property.value));
    *out += "}";
  }
  *out += "],\n" + indent + " \"children\": [";
  for (size_t i = 0; i < node.children.size(); ++i) {
    *out += (i ? ",\n" : "\n") + indent + "   ";
    JsonNode(node.children[i], ChildPath(path, node.children[i]), depth + 2, out);
  }
  *out += "]}";
}

}  // namespace

bool DeviceTreeValueIsText(const std::vector<uint8_t>& value) {
  size_t length = value.size();
  if (length > 0 && value.back() == 0) --length;
  if (length == 0) return false;
  for (size_t i = 0; i < length; ++i) {
    if (!Printable(value[i])) return false;
  }
  return true;
}

std::string DeviceTreeListing(const DecodedDeviceTreeNode& root) {
  std::string out;
  ListNode(root, "/", 0, &out);
  return out;
}

std::string DeviceTreeJson(const DecodedDeviceTreeNode& root) {
  std::string out;
  JsonNode(root, "/", 0, &out);
  return out + "\n";
}
