#include "handoff/boot_struct_text.h"

#include "diag/ascii_format.h"
#include "handoff/memory.h"

namespace {

// Bytes the UTF-8 form of c takes.
UINTN Utf8Length(CHAR16 c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

UINTN BootTextUcs2ToUtf8(const CHAR16* text, UINTN max_chars, char* out, UINTN out_size) {
  if (out_size == 0) return 0;
  UINTN at = 0;
  for (UINTN i = 0; text && i < max_chars && text[i]; ++i) {
    CHAR16 c = text[i];
    UINTN n = Utf8Length(c);
    if (at + n >= out_size) break;
    if (n == 1) {
      out[at++] = static_cast<char>(c);
    } else if (n == 2) {
      out[at++] = static_cast<char>(0xC0 | (c >> 6));
      out[at++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out[at++] = static_cast<char>(0xE0 | (c >> 12));
      out[at++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[at++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out[at] = 0;
  return at;
}

char* BootTextUcs2ToUtf8Copy(const CHAR16* text) {
  UINTN chars = 0;
  while (text && text[chars]) ++chars;
  UINTN size = chars * 3 + 1;
  char* out = static_cast<char*>(PoolAllocate(size));
  if (out) BootTextUcs2ToUtf8(text, chars, out, size);
  return out;
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
