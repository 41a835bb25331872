#include "config/plist_text.h"

#include "lib/string.h"

namespace {

// Index of the first c at or after from, or length when there is none.
UINTN FindChar(const PlistText* text, UINTN from, char c) {
  while (from < text->length && text->chars[from] != c) ++from;
  return from;
}

struct NamedEntity {
  const char* name;
  UINTN nameLength;
  char value;
};
constexpr NamedEntity kNamedEntities[] = {
    {"amp", 3, '&'}, {"gt", 2, '>'}, {"lt", 2, '<'}, {"apos", 4, '\''}, {"quot", 4, '"'},
};

// Length of the entity that starts at the "&" in s (through its ";"), and its byte in
// *value; 0 when it is not one we fold. A run of digits is read once per "&#", so a text
// full of ampersands still decodes in linear time.
UINTN MatchEntity(const char* s, char* value) {
  if (s[1] == '#') {
    UINTN i = 2;
    UINT8 byte = 0;
    for (; s[i] >= '0' && s[i] <= '9'; ++i) byte = static_cast<UINT8>(byte * 10 + (s[i] - '0'));
    if (i == 2 || s[i] != ';') return 0;
    *value = static_cast<char>(byte);
    return i + 1;
  }
  for (const NamedEntity& entity : kNamedEntities) {
    if (AsciiStrnCmp(s + 1, entity.name, entity.nameLength) == 0 && s[1 + entity.nameLength] == ';') {
      *value = entity.value;
      return entity.nameLength + 2;
    }
  }
  return 0;
}

}  // namespace

bool PlistScanTag(PlistText* text, char** tag) {
  UINTN open = FindChar(text, text->offset, '<');
  if (open >= text->length) return false;
  UINTN close = FindChar(text, open + 1, '>');
  if (close >= text->length) return false;
  text->chars[close] = 0;
  *tag = &text->chars[open + 1];
  text->offset = close + 1;
  return true;
}

bool PlistFindClosingTag(PlistText* text, const char* name, char** content) {
  UINTN start = text->offset;
  char* tag = nullptr;
  while (PlistScanTag(text, &tag)) {
    if (tag[0] == '/' && AsciiStrCmp(tag + 1, name) == 0) {
      tag[-1] = 0;  // the "<": the content ends here
      *content = &text->chars[start];
      return true;
    }
  }
  return false;
}

void PlistDecodeEntities(char* text) {
  char* out = text;
  for (const char* in = text; *in;) {
    char value = 0;
    UINTN used = (*in == '&') ? MatchEntity(in, &value) : 0;
    if (used) {
      *out++ = value;
      in += used;
    } else {
      *out++ = *in++;
    }
  }
  *out = 0;
}
