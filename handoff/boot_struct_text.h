// Small text helpers of the boot-arguments block: UCS-2 to UTF-8 for property values, GUID
// text, and a key test on the kernel command line.
#pragma once

#include "efi/types.h"

// Converts at most max_chars characters of text (stopping at a NUL) to UTF-8; NUL characters
// are dropped and output stops when out is full. out is always NUL-terminated (size >= 1);
// returns the bytes written without the NUL.
UINTN BootTextUcs2ToUtf8(const CHAR16* text, UINTN max_chars, char* out, UINTN out_size);

// A new pool text with the UTF-8 form of a NUL-terminated UCS-2 text; null when no memory.
char* BootTextUcs2ToUtf8Copy(const CHAR16* text);

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper case, in the firmware's GUID byte order.
constexpr UINTN kGuidTextSize = 37;
void BootTextGuid(const EFI_GUID& guid, char out[kGuidTextSize]);

// True when key stands on the command line as a word of its own or as "key=value".
bool BootTextCommandLineHasKey(const char* command_line, const char* key);
