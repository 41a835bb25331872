// Helpers shared by the property-list tests: parsing from an exact-size copy (so a read
// past the end trips AddressSanitizer) and a line-per-node dump that the plistlib corpus
// script produces too.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "config/plist.h"
#include "memory/memory.h"

// Parses a heap copy of exactly text.size() bytes, with no NUL after them.
inline EFI_STATUS ParsePlistCopy(const std::string& text, PlistNode** node, bool array = false) {
  std::unique_ptr<char[]> copy(new char[text.size() ? text.size() : 1]);
  std::copy(text.begin(), text.end(), copy.get());
  char* chars = text.empty() ? nullptr : copy.get();
  return array ? PlistParseArray(chars, text.size(), node) : PlistParseDictionary(chars, text.size(), node);
}

// Printable ASCII as is, '"' and '\' and every other byte as \xNN.
inline std::string QuotePlistText(const char* text) {
  std::string out = "\"";
  for (const char* c = text ? text : ""; *c; ++c) {
    auto byte = static_cast<unsigned char>(*c);
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      out += *c;
    } else {
      char escape[5];
      std::snprintf(escape, sizeof(escape), "\\x%02x", byte);
      out += escape;
    }
  }
  return out + "\"";
}

inline void DumpPlistChain(const PlistNode* node, int depth, std::string* out) {
  for (; node; node = node->next) {
    std::string line(2 * depth, ' ');
    line += PlistTypeName(node->type);
    if (node->type == kPlistKey || node->type == kPlistString) line += " " + QuotePlistText(node->string);
    if (node->type == kPlistInteger || node->type == kPlistReal) line += " " + std::to_string(node->integer);
    if (node->type == kPlistData) {
      line += " ";
      for (UINT64 i = 0; i < node->dataLength; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", node->data[i]);
        line += pair;
      }
    }
    *out += line + "\n";
    DumpPlistChain(node->child, depth + 1, out);
  }
}

// One line per node, children indented by two spaces below their parent.
inline std::string DumpPlist(const PlistNode* node) {
  std::string out;
  DumpPlistChain(node, 0, &out);
  return out;
}

// The writer's output as a std::string ("<write failed>" when it fails).
inline std::string WritePlist(const PlistNode* node) {
  char* xml = nullptr;
  if (EFI_ERROR(PlistWriteXml(node, &xml))) return "<write failed>";
  std::string text = xml;
  PoolFree(xml);
  return text;
}
