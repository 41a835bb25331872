// The 8-bit formatting engine: formats into a character sink. It drives the debug log,
// bounded and unbounded formatting into byte buffers, and every status message.
//
// Directives: "%" [flags and width] ["l" | "q"] conversion.
//   flags/width  " " (accepted, no effect), "0" before any width digit (zero padding), decimal width
//   "l", "q"     the argument is 64 bits; without one an integer argument is the low 32 bits of its
//                8-byte slot (so pass 64-bit values with %lx / %ld)
//   conversions  d (signed decimal), o O (octal), x X (hex), p P ("0x" and hex), c (low byte),
//                s (8-bit string), S (UCS-2 string, low bytes), D (device path text)
// Any other character below "D" ends the directive and is dropped with its "%" (so "%%" prints
// nothing); any other conversion character is dropped without taking an argument. After a %p or
// %P, every later %x / %X of the same call is also prefixed with "0x". Null strings print "(null)".
#pragma once

#include <stdarg.h>

#include "efi/types.h"

typedef void (*AsciiSink)(char c, void* context);

// Widths beyond this are clamped: no caller pads further, and an absurd width must not spin.
constexpr UINT32 kAsciiMaxWidth = 1024;

void AsciiFormat(const char* format, AsciiSink sink, void* context, va_list args);

// Formats without a bound and stores a final NUL; returns 0.
UINTN AsciiSPrint(char* buffer, const char* format, ...);
// Formats at most size - 1 characters plus NUL; returns the characters stored (without the NUL).
// A size of 0 stores nothing.
UINTN AsciiVSNPrint(char* buffer, UINTN size, const char* format, va_list args);
UINTN AsciiSNPrint(char* buffer, UINTN size, const char* format, ...);

// Flags of AsciiFormatNumber.
constexpr UINT32 kAsciiNumberUpper = 0x1;
constexpr UINT32 kAsciiNumberZeroPad = 0x2;
constexpr UINT32 kAsciiNumberSigned = 0x4;    // the value is the magnitude of a negative number
constexpr UINT32 kAsciiNumberPrefix0x = 0x8;  // "0x" before the number, outside the width

// Emits value in base (2 to 16; anything else counts as 10): the prefix, "-" for a negative
// value, padding up to width ("0" with kAsciiNumberZeroPad, else spaces), then the digits.
void AsciiFormatNumber(UINT64 value, UINT32 base, UINT32 flags, UINT32 width, AsciiSink sink, void* context);

// The "%D" conversion: device path text padded to width. Provided by the device-path module.
struct EFI_DEVICE_PATH_PROTOCOL;
void DevicePathTextCallback(const EFI_DEVICE_PATH_PROTOCOL* path, UINT32 width, AsciiSink sink, void* context);
