#include "tools/lib/uchr_keys.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "ui/key_translate.h"

namespace {

// Punctuation by its US key position.
const std::map<std::string, uint32_t> kNamedKeys = {
    {"return", 0x28}, {"escape", 0x29}, {"backspace", 0x2A}, {"tab", 0x2B}, {"space", 0x2C},
    {"-", 0x2D},      {"=", 0x2E},      {"[", 0x2F},         {"]", 0x30},   {"\\", 0x31},
    {";", 0x33},      {"'", 0x34},      {"`", 0x35},         {",", 0x36},   {".", 0x37},
    {"/", 0x38},      {"delete", 0x4C}, {"right", 0x4F},     {"left", 0x50}, {"down", 0x51},
    {"up", 0x52},     {"home", 0x4A},   {"end", 0x4D},       {"iso", 0x64}, {"enter", 0x58},
    {"ro", 0x87},     {"yen", 0x89},
};

const std::map<std::string, uint32_t> kModifiers = {
    {"command", kEFIKeyModifierCommand}, {"shift", kEFIKeyModifierShift}, {"caps", kEFIKeyModifierCapsLock},
    {"option", kEFIKeyModifierOption},   {"control", kEFIKeyModifierControl},
};

bool ParseKey(const std::string& name, uint32_t* usage) {
  if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') {
    *usage = 0x04 + (name[0] - 'a');
    return true;
  }
  if (name.size() == 1 && name[0] >= '1' && name[0] <= '9') {
    *usage = 0x1E + (name[0] - '1');
    return true;
  }
  if (name == "0") {
    *usage = 0x27;
    return true;
  }
  if (name.size() > 2 && name[0] == '0' && name[1] == 'x') {
    char* end = nullptr;
    unsigned long value = std::strtoul(name.c_str() + 2, &end, 16);
    if (*end != '\0' || value > 0xFF) return false;
    *usage = static_cast<uint32_t>(value);
    return true;
  }
  auto found = kNamedKeys.find(name);
  if (found == kNamedKeys.end()) return false;
  *usage = found->second;
  return true;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

bool ParseKeyStroke(const std::string& text, uint32_t* usage, uint32_t* modifiers) {
  *modifiers = 0;
  size_t start = 0;
  for (;;) {
    size_t plus = text.find('+', start);
    // A lone "+" at the end would be a key name; none of the names contain one.
    if (plus == std::string::npos || plus == text.size() - 1) return ParseKey(text.substr(start), usage);
    auto found = kModifiers.find(text.substr(start, plus - start));
    if (found == kModifiers.end()) return false;
    *modifiers |= found->second;
    start = plus + 1;
  }
}

std::string DescribeUtf16(const char16_t* units, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t cp = units[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (cp < 0x20 || cp == 0x7F) {
      char code[16];
      std::snprintf(code, sizeof(code), "<U+%04X>", cp);
      out += code;
    } else {
      AppendUtf8(out, cp);
    }
  }
  return out;
}
