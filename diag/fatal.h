// The one way out of a failed boot. Modules report and return a status; the stages of the
// boot sequence call these when a status ends the boot.
#pragma once

#include "efi/types.h"

// Prints the message on the console and ends the boot with EFI_ABORTED. Messages end in "\n".
// Once boot services are gone (gBS cleared) it writes to the serial port and halts.
[[noreturn]] void FatalError(const char* format, ...);

// Failure screen, log flush, release of every tracked allocation, a 10-second stall and
// exit of the image with the given status. Halts once boot services are gone.
[[noreturn]] void FailBoot(EFI_STATUS status);

// Ends the boot with EFI_ABORTED when status is an error; the module that returned it has
// already said what went wrong.
void EndBootOnError(EFI_STATUS status);

// The boot screen sits above this layer: the top of the sequence registers how to close
// its animation and draw the failure picture, and FailBoot calls it first. Null: none.
void SetFailureScreen(void (*draw)());

// Secrets (delivered keys, decrypted key files, passphrases) live in modules above this layer
// too: the top of the sequence registers how to zero them, and FailBoot calls it before it
// hands the loader's memory back to the firmware. Null: none.
void SetFailureWipe(void (*wipe)());
