// How a module says that something went wrong and hands the status back in one line:
//
//   if (!buffer) return ReportError(EFI_OUT_OF_RESOURCES, "Could not allocate property buffer\n");
//
// The stage that receives the status decides whether the boot ends.
#pragma once

#include <stdarg.h>

#include "efi/types.h"

// A failure after which the boot cannot go on, already reported. Passed up unchanged; a
// search over candidates stops on it instead of trying the next one.
constexpr EFI_STATUS kStatusBootEnding = EFI_ABORTED;

// Prints the message on the console (on the serial port once boot services are gone) and
// returns status. Messages end in "\n".
[[nodiscard]] EFI_STATUS ReportError(EFI_STATUS status, const char* format, ...);
[[nodiscard]] EFI_STATUS ReportErrorV(EFI_STATUS status, const char* format, va_list args);
