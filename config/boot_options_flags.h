// What the finished kernel command line sets: paths, flags, slide, subtype and suffix.
#pragma once

#include "efi/types.h"

// Applies the kernel command line (and the boot configuration for the paths) to the
// boot-mode flags and the kept settings. network: the booter came over the network.
void ApplyKernelCommandLine(bool network);

// Parses a decimal (or "0x" hexadecimal) number of at most 32 bits from value[0, length).
bool ParseOptionNumber(const char* value, UINTN length, UINT32* number);
