// Small helpers shared by the diagnostics tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "efi/types.h"

// UCS-2 text as UTF-8 (characters above 0x7F as \uXXXX), for readable failures.
inline std::string Narrow(const char16_t* text) {
  std::string out;
  if (!text) return "(null)";
  for (; *text; ++text) {
    if (*text < 0x80) {
      out.push_back(static_cast<char>(*text));
    } else {
      char escape[8];
      snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(*text));
      out += escape;
    }
  }
  return out;
}
inline std::string Narrow(const std::u16string& text) { return Narrow(text.c_str()); }

// Device path nodes for tests: type, subtype, length from the payload, then the payload.
inline std::vector<uint8_t> Node(uint8_t type, uint8_t subtype, std::vector<uint8_t> payload) {
  size_t length = payload.size() + 4;
  std::vector<uint8_t> node = {type, subtype, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
  node.insert(node.end(), payload.begin(), payload.end());
  return node;
}
inline std::vector<uint8_t> EndNode() { return {0x7F, 0xFF, 4, 0}; }

inline void PutLe(std::vector<uint8_t>* out, size_t offset, uint64_t value, size_t bytes) {
  if (out->size() < offset + bytes) out->resize(offset + bytes);
  for (size_t i = 0; i < bytes; ++i) (*out)[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline std::vector<uint8_t> Path(std::initializer_list<std::vector<uint8_t>> nodes) {
  std::vector<uint8_t> out;
  for (const auto& n : nodes) out.insert(out.end(), n.begin(), n.end());
  return out;
}

constexpr EFI_GUID kSampleGuid = {0x12345678, 0x9ABC, 0xDEF0, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
constexpr const char* kSampleGuidText = "12345678-9ABC-DEF0-0123-456789ABCDEF";

inline std::vector<uint8_t> GuidBytes(const EFI_GUID& g) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&g);
  return std::vector<uint8_t>(p, p + 16);
}
