// The UCS-2 formatting engine: console text, file names and paths built at run time, and the
// device-path converter.
//
// Directives: "%" flags/width conversion, flags in any order:
//   "-" left-justify, "+" and " " (accepted, no effect), "," thousands separators, "l"/"L" long,
//   "0" zero padding (and the start of the width), "*" width from the next argument, digits: width.
// Conversions:
//   a        8-bit string             s S   UCS-2 string      (null: "<null string>"; then spaces to width)
//   c        low 16 bits, one character
//   d        signed decimal: the low 32 bits sign-extended, with "l" the whole 64 bits
//   u        unsigned decimal of the whole 64-bit argument
//   x        upper-case hex of the whole 64-bit argument; X: the same, 16 digits zero-padded
//   g        EFI_GUID*  (null prints nothing)       r   EFI_STATUS by name
//   t        EFI_TIME*  as "MM/DD/YYYY  hh:mm"      (null prints nothing)
//   anything else, "%" included, prints itself.
// Integer arguments for u, x, X and %ld are read as 64 bits: pass UINT64 / UINTN values.
// A line feed in the format gets a carriage return before it when two places remain.
#pragma once

#include <stdarg.h>

#include "efi/types.h"

// Flags of the number printers.
constexpr UINT32 kUnicodeLeftJustify = 0x01;
constexpr UINT32 kUnicodePlus = 0x02;
constexpr UINT32 kUnicodeBlank = 0x04;
constexpr UINT32 kUnicodeThousands = 0x08;
constexpr UINT32 kUnicodeLong = 0x10;
constexpr UINT32 kUnicodeZeroPad = 0x20;
constexpr UINT32 kUnicodeSignedValue = 0x40;  // the value is an INT64 ("d")

// Characters a number printer writes at most (its buffer holds one more, for the NUL).
constexpr UINTN kUnicodeNumberCount = 30;
// Widths beyond this are clamped: no caller pads further, and an absurd width must not spin.
constexpr UINTN kUnicodeMaxWidth = 1024;

// Writes at most buffer_size / 2 - 1 characters and always a NUL; returns the characters
// written including the NUL. A buffer of fewer than 2 bytes receives nothing (returns 0).
UINTN UnicodeVSPrint(CHAR16* buffer, UINTN buffer_size, const CHAR16* format, va_list args);
UINTN UnicodeSPrint(CHAR16* buffer, UINTN buffer_size, const CHAR16* format, ...);

// Number printers: write at most count characters and a NUL; return the characters written.
// Unless left-justified they pad on the left to min(width, 29), with "0" under kUnicodeZeroPad
// (decimal: non-negative values only), else with spaces.
UINTN ValueToHexText(CHAR16* buffer, UINTN count, UINT64 value, UINT32 flags, UINTN width);
UINTN ValueToDecimalText(CHAR16* buffer, UINTN count, UINT64 value, UINT32 flags, UINTN width);

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (upper case); returns the characters without the NUL.
UINTN GuidToText(const EFI_GUID* guid, CHAR16* buffer, UINTN buffer_size);
// The status's name ("Not Found"), or its 16 hex digits when it has none; returns the
// characters without the NUL.
UINTN StatusToText(EFI_STATUS status, CHAR16* buffer, UINTN buffer_size);

// The status names, searched in order; the row with code kStatusTextSentinel ends the table.
struct StatusTextEntry {
  UINT64 Code;
  const char* Text;
};
constexpr UINT64 kStatusTextSentinel = 0x8000000000000000ull;
extern const StatusTextEntry kStatusTextTable[];
