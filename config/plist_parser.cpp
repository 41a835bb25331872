// The parser: tags are read one after another; each recognised element becomes a node,
// every other tag (declarations, closing tags, unknown elements) yields none.
#include "config/plist.h"
#include "config/plist_data.h"
#include "config/plist_pool.h"
#include "config/plist_text.h"
#include "lib/string.h"

namespace {

// Nesting beyond this fails the parse instead of running the firmware's stack dry.
constexpr UINTN kMaxParseDepth = 64;

enum class Content { kNone, kMembers, kKey, kText, kNumber, kBase64, kHex, kIgnored };

struct TagRule {
  const char* tag;      // the whole tag text
  const char* element;  // the name its closing tag carries
  UINT64 type;
  Content content;
};

// "real/", "date/" and the hex data form are what the writer produces, so its output
// reads back.
constexpr TagRule kTagRules[] = {
    {"dict", "dict", kPlistDict, Content::kMembers},
    {"dict/", nullptr, kPlistDict, Content::kNone},
    {"key", "key", kPlistKey, Content::kKey},
    {"string", "string", kPlistString, Content::kText},
    {"integer", "integer", kPlistInteger, Content::kNumber},
    {"real", "real", kPlistReal, Content::kNumber},
    {"real/", nullptr, kPlistReal, Content::kNone},
    {"data", "data", kPlistData, Content::kBase64},
    {"data format=\"hex\"", "data", kPlistData, Content::kHex},
    {"date", "date", kPlistDate, Content::kIgnored},
    {"date/", nullptr, kPlistDate, Content::kNone},
    {"false/", nullptr, kPlistFalse, Content::kNone},
    {"true/", nullptr, kPlistTrue, Content::kNone},
    {"array", "array", kPlistArray, Content::kMembers},
    {"array/", nullptr, kPlistArray, Content::kNone},
};

const TagRule* FindRule(const char* tag) {
  for (const TagRule& rule : kTagRules) {
    if (AsciiStrCmp(tag, rule.tag) == 0) return &rule;
  }
  return nullptr;
}

// Optional tabs and spaces, an optional "-", then decimal digits up to the end or a space.
// Anything else (hexadecimal, "+", a decimal point) reads as 0. Overflow wraps.
INT64 ParseDecimal(const char* text) {
  while (*text == ' ' || *text == '\t') ++text;
  bool negative = *text == '-';
  if (negative) ++text;
  UINT64 value = 0;
  for (; *text && *text != ' '; ++text) {
    if (*text < '0' || *text > '9') return 0;
    value = value * 10 + static_cast<UINT64>(*text - '0');
  }
  return static_cast<INT64>(negative ? 0 - value : value);
}

EFI_STATUS ParseNextTag(PlistText* text, UINTN depth, PlistNode** node);

// Members up to the first tag that yields no node (normally the closing tag), in order.
EFI_STATUS ParseMembers(PlistText* text, UINTN depth, PlistNode** first) {
  PlistNode** tail = first;
  for (;;) {
    PlistNode* member = nullptr;
    EFI_STATUS status = ParseNextTag(text, depth, &member);
    if (EFI_ERROR(status)) return status;  // the caller frees what was chained
    if (!member) return EFI_SUCCESS;
    *tail = member;
    tail = &member->next;
  }
}

// A key's value is whatever the next tag yields; a closing tag there is consumed and
// leaves the key without a value.
EFI_STATUS ParseKey(PlistText* text, UINTN depth, PlistNode* key) {
  char* name = nullptr;
  if (!PlistFindClosingTag(text, "key", &name)) return EFI_NOT_FOUND;
  PlistDecodeEntities(name);
  EFI_STATUS status = ParseNextTag(text, depth + 1, &key->child);
  if (EFI_ERROR(status)) return status;
  key->string = PlistSymbolIntern(name);
  return key->string ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

EFI_STATUS FillNode(PlistText* text, UINTN depth, const TagRule& rule, PlistNode* node) {
  if (rule.content == Content::kNone) return EFI_SUCCESS;
  if (rule.content == Content::kMembers) return ParseMembers(text, depth + 1, &node->child);
  if (rule.content == Content::kKey) return ParseKey(text, depth, node);
  char* content = nullptr;
  if (!PlistFindClosingTag(text, rule.element, &content)) return EFI_NOT_FOUND;
  switch (rule.content) {
    case Content::kText:
      PlistDecodeEntities(content);
      node->string = PlistSymbolIntern(content);
      return node->string ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
    case Content::kNumber:
      node->integer = ParseDecimal(content);
      return EFI_SUCCESS;
    case Content::kBase64:
      return PlistDecodeBase64(content, &node->data, &node->dataLength);
    case Content::kHex:
      return PlistDecodeHex(content, &node->data, &node->dataLength);
    default:
      return EFI_SUCCESS;  // a date's content carries no value
  }
}

// Reads one tag; *node is null for tags that yield no node.
EFI_STATUS ParseNextTag(PlistText* text, UINTN depth, PlistNode** node) {
  *node = nullptr;
  if (depth > kMaxParseDepth) return EFI_NOT_FOUND;
  char* tag = nullptr;
  if (!PlistScanTag(text, &tag)) return EFI_NOT_FOUND;
  const TagRule* rule = FindRule(tag);
  if (!rule) return EFI_SUCCESS;
  PlistNode* fresh = PlistNodeAllocate();
  if (!fresh) return EFI_OUT_OF_RESOURCES;
  fresh->type = rule->type;
  EFI_STATUS status = FillNode(text, depth, *rule, fresh);
  if (EFI_ERROR(status)) {
    PlistFree(fresh);
    return status;
  }
  *node = fresh;
  return EFI_SUCCESS;
}

// Parses top-level values until one of the wanted type; the others are freed.
EFI_STATUS ParseFirstOfType(char* chars, UINTN length, UINT64 type, PlistNode** result) {
  if (!result || (!chars && length)) return EFI_INVALID_PARAMETER;
  *result = nullptr;
  PlistText text{chars, chars ? AsciiStrnLen(chars, length) : 0, 0};
  for (;;) {
    PlistNode* node = nullptr;
    EFI_STATUS status = ParseNextTag(&text, 0, &node);
    if (EFI_ERROR(status)) return status == EFI_OUT_OF_RESOURCES ? status : EFI_NOT_FOUND;
    if (node && node->type == type) {
      *result = node;
      return EFI_SUCCESS;
    }
    PlistFree(node);
  }
}

}  // namespace

EFI_STATUS PlistParseDictionary(char* text, UINTN length, PlistNode** dict) {
  return ParseFirstOfType(text, length, kPlistDict, dict);
}

EFI_STATUS PlistParseArray(char* text, UINTN length, PlistNode** array) {
  return ParseFirstOfType(text, length, kPlistArray, array);
}
