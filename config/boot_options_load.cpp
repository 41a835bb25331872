#include "config/boot_options_load.h"

#include "config/text_convert.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

bool IsOptionSpace(CHAR16 c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }

bool StartsWithPath(CHAR16 c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'/' || c == u'\\';
}

UINTN SkipSpace(const CHAR16* chars, UINTN i, UINTN count) {
  while (i < count && IsOptionSpace(chars[i])) ++i;
  return i;
}

// Where the options proper begin in chars[0, count).
UINTN OptionsStart(const CHAR16* chars, UINTN count) {
  UINTN i = SkipSpace(chars, 0, count);
  if (i == count || !StartsWithPath(chars[i])) return i;
  UINTN word = i;
  while (word < count && chars[word] && !IsOptionSpace(chars[word])) {
    if (chars[word] == u'=') return i;  // already an option
    ++word;
  }
  return SkipSpace(chars, word, count);
}

}  // namespace

EFI_STATUS ConvertLoadOptions(const void* options, UINTN size, char** text) {
  UINTN count = options ? size / sizeof(CHAR16) : 0;
  // An aligned copy: the firmware's buffer need not be.
  CHAR16* chars = static_cast<CHAR16*>(PoolAllocate(count ? count * sizeof(CHAR16) : sizeof(CHAR16)));
  if (!chars) return EFI_OUT_OF_RESOURCES;
  if (count) MemCopy(chars, options, count * sizeof(CHAR16));
  for (UINTN i = 0; i < count; ++i) {
    if (chars[i] == 0) count = i;  // the options end at their first NUL
  }
  UINTN start = OptionsStart(chars, count);
  EFI_STATUS status = Ucs2ToUtf8Allocate(chars + start, count - start, text);
  PoolFree(chars);
  return status;
}
