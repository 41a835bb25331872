// Text on the firmware console.
#pragma once

#include <stdarg.h>

#include "efi/types.h"

// Formats with the 8-bit engine and writes to the console (standard error when there is
// no console output). A tab becomes eight spaces, a newline carriage return and line feed.
void ConsolePrint(const char* format, ...);
void ConsoleVPrint(const char* format, va_list args);
// Writes 8-bit text as it stands, with the same tab and newline handling.
void ConsoleWrite(const char* text, UINTN length);
