// The 8-bit formatting engine: formats into a character sink. It drives the debug log,
// bounded and unbounded formatting into byte buffers, and every status message.
#pragma once

#include <stdarg.h>

#include "efi/types.h"

typedef void (*AsciiSink)(char c, void* context);

// Conversions: %d %o %O %x %X %p %P %c %s %S %D with "0", width, "l"/"q" (64-bit).
void AsciiFormat(const char* format, AsciiSink sink, void* context, va_list args);

// Formats without a bound and stores a final NUL; returns 0.
UINTN AsciiSPrint(char* buffer, const char* format, ...);
// Formats at most size - 1 characters plus NUL; returns the characters stored.
UINTN AsciiVSNPrint(char* buffer, UINTN size, const char* format, va_list args);
UINTN AsciiSNPrint(char* buffer, UINTN size, const char* format, ...);

// Flags of AsciiFormatNumber.
constexpr UINT32 kAsciiNumberUpper = 0x1;
constexpr UINT32 kAsciiNumberZeroPad = 0x2;
constexpr UINT32 kAsciiNumberSigned = 0x4;    // the value is negative at its width
constexpr UINT32 kAsciiNumberPrefix0x = 0x8;

void AsciiFormatNumber(UINT64 value, UINT32 base, UINT32 flags, UINT32 width, AsciiSink sink, void* context);

// The "%D" conversion: device path text padded to width. Provided by the device-path module.
struct EFI_DEVICE_PATH_PROTOCOL;
void DevicePathTextCallback(const EFI_DEVICE_PATH_PROTOCOL* path, UINT32 width, AsciiSink sink, void* context);
