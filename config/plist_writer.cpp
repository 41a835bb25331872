// The compact XML writer: elements back to back, no declaration, no white space.
#include "config/plist.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

constexpr UINTN kWriterGrowth = 4096;
constexpr UINTN kMaxWriteDepth = 16;

constexpr const char* kTypeNames[] = {"none", "dict", "key", "string", "integer", "data",
                                      "date", "false", "true", "array", "real"};

// The output text, NUL-terminated at all times once it exists.
struct XmlText {
  char* chars = nullptr;
  UINTN length = 0;
  UINTN capacity = 0;
  bool failed = false;
};

bool Grow(XmlText* out) {
  auto* bigger = static_cast<char*>(PoolAllocate(out->capacity + kWriterGrowth));
  if (!bigger) return false;
  if (out->chars) {
    MemCopy(bigger, out->chars, out->length + 1);
    PoolFree(out->chars);
  } else {
    bigger[0] = 0;
  }
  out->chars = bigger;
  out->capacity += kWriterGrowth;
  return true;
}

void Put(XmlText* out, char c) {
  if (out->failed) return;
  if (out->length + 1 >= out->capacity && !Grow(out)) {
    out->failed = true;
    return;
  }
  out->chars[out->length++] = c;
  out->chars[out->length] = 0;
}

void PutText(XmlText* out, const char* text) {
  while (*text) Put(out, *text++);
}

void PutEscaped(XmlText* out, const char* text) {
  for (; text && *text; ++text) {
    if (*text == '&') {
      PutText(out, "&amp;");
    } else if (*text == '<') {
      PutText(out, "&lt;");
    } else if (*text == '>') {
      PutText(out, "&gt;");
    } else {
      Put(out, *text);
    }
  }
}

void PutDecimal(XmlText* out, INT64 value) {
  UINT64 magnitude = value < 0 ? 0 - static_cast<UINT64>(value) : static_cast<UINT64>(value);
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (value < 0) Put(out, '-');
  while (count) Put(out, digits[--count]);
}

// Two lower-case digits a byte, a space after every fourth byte but the last.
void PutHex(XmlText* out, const UINT8* data, UINT64 length) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (UINT64 i = 0; data && i < length; ++i) {
    Put(out, kDigits[data[i] >> 4]);
    Put(out, kDigits[data[i] & 0xF]);
    if ((i + 1) % 4 == 0 && i + 1 < length) Put(out, ' ');
  }
}

void PutClosing(XmlText* out, const char* name) {
  PutText(out, "</");
  PutText(out, name);
  Put(out, '>');
}

void WriteChain(XmlText* out, const PlistNode* node, UINTN depth);

// Writes the element's opening and content; true when content was written.
bool WriteOpening(XmlText* out, const PlistNode* node) {
  Put(out, '<');
  PutText(out, PlistTypeName(node->type));
  switch (node->type) {
    case kPlistKey:
    case kPlistString:
      Put(out, '>');
      PutEscaped(out, node->string);
      return true;
    case kPlistInteger:
      Put(out, '>');
      PutDecimal(out, node->integer);
      return true;
    case kPlistData:
      PutText(out, " format=\"hex\">");
      PutHex(out, node->data, node->dataLength);
      return true;
    default:
      return false;
  }
}

void WriteNode(XmlText* out, const PlistNode* node, UINTN depth) {
  const char* name = PlistTypeName(node->type);
  bool content = WriteOpening(out, node);
  if (node->child && node->type == kPlistKey) {
    PutClosing(out, name);
    WriteChain(out, node->child, depth + 1);
  } else if (node->child) {
    if (!content) Put(out, '>');
    WriteChain(out, node->child, depth + 1);
    PutClosing(out, name);
  } else if (content) {
    PutClosing(out, name);
  } else {
    PutText(out, "/>");
  }
}

void WriteChain(XmlText* out, const PlistNode* node, UINTN depth) {
  if (depth > kMaxWriteDepth) return;
  for (; node && !out->failed; node = node->next) WriteNode(out, node, depth);
}

}  // namespace

const char* PlistTypeName(UINT64 type) {
  return type < sizeof(kTypeNames) / sizeof(kTypeNames[0]) ? kTypeNames[type] : "unknown";
}

EFI_STATUS PlistWriteXml(const PlistNode* node, char** xml) {
  if (!xml) return EFI_INVALID_PARAMETER;
  *xml = nullptr;
  XmlText out;
  WriteChain(&out, node, 0);
  if (!out.failed && !out.chars) out.failed = !Grow(&out);  // an empty chain: just the NUL
  if (out.failed) {
    PoolFree(out.chars);
    return EFI_OUT_OF_RESOURCES;
  }
  *xml = out.chars;
  return EFI_SUCCESS;
}
