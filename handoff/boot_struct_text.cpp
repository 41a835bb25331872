#include "handoff/boot_struct_text.h"

#include "config/text_convert.h"
#include "output/ascii_format.h"
#include "memory/memory.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

// A null text reads as empty.
UINTN BootTextUcs2ToUtf8(const CHAR16* text, UINTN max_chars, char* out, UINTN out_size) {
  return Ucs2ToUtf8(text ? text : u"", text ? max_chars : 0, out, out_size);
}

char* BootTextUcs2ToUtf8Copy(const CHAR16* text) {
  UINTN chars = 0;
  while (text && text[chars]) ++chars;
  char* out = nullptr;
  return Ucs2ToUtf8Allocate(text ? text : u"", chars, &out) == EFI_SUCCESS ? out : nullptr;
}

void BootTextGuid(const EFI_GUID& g, char out[kGuidTextSize]) {
  AsciiSNPrint(out, kGuidTextSize, "%08lX-%04lX-%04lX-%02lX%02lX-%02lX%02lX%02lX%02lX%02lX%02lX", UINT64(g.Data1),
               UINT64(g.Data2), UINT64(g.Data3), UINT64(g.Data4[0]), UINT64(g.Data4[1]), UINT64(g.Data4[2]),
               UINT64(g.Data4[3]), UINT64(g.Data4[4]), UINT64(g.Data4[5]), UINT64(g.Data4[6]), UINT64(g.Data4[7]));
}

bool BootTextCommandLineHasKey(const char* command_line, const char* key) {
  if (!command_line || !key || !key[0]) return false;
  const char* p = command_line;
  while (*p) {
    while (IsSpace(*p)) ++p;
    const char* word = p;
    while (*p && !IsSpace(*p)) ++p;
    UINTN i = 0;
    while (key[i] && word + i < p && word[i] == key[i]) ++i;
    if (!key[i] && (word + i == p || word[i] == '=')) return true;
  }
  return false;
}
