#include "config/kernel_flags.h"

#include "lib/mem.h"
#include "lib/string.h"

namespace {

const char* const kSafeModeKeyPrefixes[] = {"kext-dev-mode", "rootless", "-x", "-v"};

bool KeyEquals(const KernelFlagToken& token, const char* key, UINTN key_length) {
  return token.keyLength == key_length && MemCompare(token.start, key, key_length) == 0;
}

bool KeepsInSafeMode(const KernelFlagToken& token) {
  for (const char* prefix : kSafeModeKeyPrefixes) {
    UINTN n = AsciiStrLen(prefix);
    if (token.keyLength >= n && MemCompare(token.start, prefix, n) == 0) return true;
  }
  return false;
}

// Scans the value after "=" at p; returns where the token's white space begins.
const char* ScanValue(const char* p, KernelFlagToken* token) {
  if (*p == '"') {
    const char* begin = ++p;
    while (*p && *p != '"') ++p;
    token->value = begin;
    token->valueLength = static_cast<UINTN>(p - begin);
    token->openQuote = *p != '"';
    if (*p == '"') ++p;
  } else {
    token->value = p;
    while (*p && !KernelFlagsIsSpace(*p)) ++p;
    token->valueLength = static_cast<UINTN>(p - token->value);
  }
  while (*p && !KernelFlagsIsSpace(*p)) ++p;
  return p;
}

bool LastTokenHasOpenQuote(const char* line) {
  KernelFlagToken token;
  bool open = false;
  for (const char* cursor = line; KernelFlagsNextToken(&cursor, &token);) open = token.openQuote;
  return open;
}

}  // namespace

bool KernelFlagsIsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool KernelFlagsNextToken(const char** cursor, KernelFlagToken* token) {
  const char* p = *cursor;
  if (!p) return false;
  while (KernelFlagsIsSpace(*p)) ++p;
  if (!*p) {
    *cursor = p;
    return false;
  }
  token->start = p;
  while (*p && *p != '=' && !KernelFlagsIsSpace(*p)) ++p;
  token->keyLength = static_cast<UINTN>(p - token->start);
  token->value = p;
  token->valueLength = 0;
  token->openQuote = false;
  if (*p == '=') p = ScanValue(p + 1, token);
  token->length = static_cast<UINTN>(p - token->start);
  *cursor = p;
  return true;
}

EFI_STATUS KernelFlagsLookup(const char* line, const char* key, const char** value, UINTN* length) {
  if (!line || !key) return EFI_NOT_FOUND;
  UINTN key_length = AsciiStrLen(key);
  bool found = false;
  KernelFlagToken token;
  for (const char* cursor = line; KernelFlagsNextToken(&cursor, &token);) {
    if (!KeyEquals(token, key, key_length)) continue;
    *value = token.value;
    *length = token.valueLength;
    found = true;
  }
  return found ? EFI_SUCCESS : EFI_NOT_FOUND;
}

bool KernelFlagsKeyPresent(const char* line, const char* key, UINTN key_length) {
  KernelFlagToken token;
  for (const char* cursor = line; KernelFlagsNextToken(&cursor, &token);) {
    if (KeyEquals(token, key, key_length)) return true;
  }
  return false;
}

EFI_STATUS KernelFlagsAppend(char* line, UINTN capacity, const char* text, UINTN length) {
  UINTN used = AsciiStrnLen(line, capacity);
  if (used >= capacity) return EFI_BUFFER_TOO_SMALL;
  UINTN extra = used ? 1 : 0;
  if (used && LastTokenHasOpenQuote(line)) ++extra;
  UINTN room = capacity - used - 1;
  if (extra > room || length > room - extra) return EFI_BUFFER_TOO_SMALL;
  if (extra == 2) line[used++] = '"';
  if (extra) line[used++] = ' ';
  MemCopy(line + used, text, length);
  line[used + length] = 0;
  return EFI_SUCCESS;
}

void KernelFlagsMergeAbsent(char* line, UINTN capacity, const char* source) {
  KernelFlagToken token;
  for (const char* cursor = source; KernelFlagsNextToken(&cursor, &token);) {
    if (KernelFlagsKeyPresent(line, token.start, token.keyLength)) continue;
    (void)KernelFlagsAppend(line, capacity, token.start, token.length);  // a flag that does not fit is left out
  }
}

void KernelFlagsAddIfAbsent(char* line, UINTN capacity, const char* token) {
  KernelFlagsMergeAbsent(line, capacity, token);
}

void KernelFlagsSafeModeFilter(char* line) {
  char* out = line;
  KernelFlagToken token;
  for (const char* cursor = line; KernelFlagsNextToken(&cursor, &token);) {
    if (!KeepsInSafeMode(token)) continue;
    if (out != line) *out++ = ' ';
    MemCopy(out, token.start, token.length);  // out never passes token.start
    out += token.length;
  }
  *out = 0;
}
