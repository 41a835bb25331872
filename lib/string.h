// 8-bit and UCS-2 string helpers of the loader's own.
#pragma once

#include <stddef.h>
#include <stdint.h>

size_t AsciiStrLen(const char* s);
size_t AsciiStrnLen(const char* s, size_t max);
int AsciiStrCmp(const char* a, const char* b);
int AsciiStrnCmp(const char* a, const char* b, size_t n);
const char* AsciiStrStr(const char* haystack, const char* needle);
// Copies at most size - 1 characters and always terminates (size > 0).
void AsciiStrCopy(char* dst, size_t size, const char* src);

size_t StrLen16(const char16_t* s);
int StrCmp16(const char16_t* a, const char16_t* b);
const char16_t* StrStr16(const char16_t* haystack, const char16_t* needle);
void StrCopy16(char16_t* dst, size_t count, const char16_t* src);

inline char AsciiToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
