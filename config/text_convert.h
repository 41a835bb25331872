// Conversion between the firmware's UCS-2 and the 8-bit UTF-8 text of the command line and
// property lists.
#pragma once

#include "efi/types.h"

// Bytes of UTF-8 a UCS-2 text of count characters may need, with the terminator.
// Zero when the count is too large to size.
UINTN Utf8SizeForUcs2(UINTN count);

// Writes text[0, count) (up to its first NUL character) as UTF-8 into out and terminates it.
// Characters above U+007F take two or three bytes; a character that would not fit with the
// terminator ends the output. Returns the bytes written without the terminator; out_size 0
// writes nothing.
UINTN Ucs2ToUtf8(const CHAR16* text, UINTN count, char* out, UINTN out_size);

// The same into a new pool buffer of Utf8SizeForUcs2(count) bytes (the caller frees it).
// EFI_OUT_OF_RESOURCES when there is no memory.
[[nodiscard]] EFI_STATUS Ucs2ToUtf8Allocate(const CHAR16* text, UINTN count, char** out);

// Decodes text[0, length) (up to its first NUL byte) into UCS-2 and terminates it. A byte
// that does not start a well-formed sequence of one to three bytes, and a character beyond
// U+FFFF, become "?". Stops when out is full. Returns the characters written.
UINTN Utf8ToUcs2(const char* text, UINTN length, CHAR16* out, UINTN out_count);

// The same into a new pool buffer of length + 1 characters (the caller frees it).
[[nodiscard]] EFI_STATUS Utf8ToUcs2Allocate(const char* text, UINTN length, CHAR16** out);
