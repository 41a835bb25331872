// Ends a QEMU run through its isa-debug-exit device (I/O port 0xF4), so that a test or demo
// finishes as soon as hearth has returned instead of falling through to the firmware's next
// boot option.
#pragma once

#include <stdint.h>

#include "efi/efi.h"

// The byte written to the port for a status: 0 for success; otherwise the low six bits of
// the status, with 0x40 added for errors. QEMU exits with (byte << 1) | 1, so EFI_ABORTED
// (0x15, an error) ends QEMU with 171 and success with 1.
uint8_t QemuExitCode(EFI_STATUS status);

// Waits for a key press for at most timeout_seconds (so the harness can take its screenshot
// first), then writes the status's code to the debug-exit port. Outside QEMU, or without the
// device, the write does nothing and this returns.
void ExitQemu(EFI_STATUS status, UINTN timeout_seconds);
