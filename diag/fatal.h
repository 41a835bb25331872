// The one way out of a failed boot.
#pragma once

#include "efi/types.h"

// Prints the message on the console and ends the boot with EFI_ABORTED. Messages end in "\n".
// Once boot services are gone (gBS cleared) it writes to the serial port and halts.
[[noreturn]] void FatalError(const char* format, ...);

// The failure screen: drawn by the layer that owns the display, which registers it once the
// sequence starts (stops the boot animation and draws the failed-boot picture).
using FailureScreenFunction = void (*)();
void SetFailureScreen(FailureScreenFunction draw);

// Failure screen, log flush, release of every tracked allocation, a 10-second stall and
// exit of the image with the given status.
[[noreturn]] void FailBoot(EFI_STATUS status);
