#include "lib/string.h"

size_t AsciiStrLen(const char* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

size_t AsciiStrnLen(const char* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

int AsciiStrCmp(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

int AsciiStrnCmp(const char* a, const char* b, size_t n) {
  for (; n; --n, ++a, ++b) {
    if (*a != *b || !*a) return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
  }
  return 0;
}

const char* AsciiStrStr(const char* haystack, const char* needle) {
  size_t n = AsciiStrLen(needle);
  for (; *haystack; ++haystack) {
    if (AsciiStrnCmp(haystack, needle, n) == 0) return haystack;
  }
  return n == 0 ? haystack : nullptr;
}

void AsciiStrCopy(char* dst, size_t size, const char* src) {
  if (size == 0) return;
  size_t i = 0;
  for (; i + 1 < size && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
}

size_t StrLen16(const char16_t* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

int StrCmp16(const char16_t* a, const char16_t* b) {
  while (*a && *a == *b) ++a, ++b;
  return static_cast<int>(*a) - static_cast<int>(*b);
}

const char16_t* StrStr16(const char16_t* haystack, const char16_t* needle) {
  size_t n = StrLen16(needle);
  for (; *haystack; ++haystack) {
    size_t i = 0;
    while (i < n && haystack[i] == needle[i]) ++i;
    if (i == n) return haystack;
  }
  return n == 0 ? haystack : nullptr;
}

void StrCopy16(char16_t* dst, size_t count, const char16_t* src) {
  if (count == 0) return;
  size_t i = 0;
  for (; i + 1 < count && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
}
