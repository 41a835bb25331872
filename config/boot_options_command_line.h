// Merging the three sources into the kernel command line.
#pragma once

#include "efi/types.h"

// Builds the line in a new pool buffer (the caller frees it) of the sources' lengths plus 64:
// the load options as they stand, then each token of boot_args and then of kernel_flags
// whose key is not yet present (either may be null), then "-x", "-s", "-v" and "srv=1" as
// BootModeFlags asks (safe mode also prints "Using Safe Mode"), and in safe mode keeps only
// the tokens safe mode allows. EFI_OUT_OF_RESOURCES when the buffer cannot be had.
[[nodiscard]] EFI_STATUS BuildKernelCommandLine(const char* options, const char* boot_args, const char* kernel_flags,
                                                char** line);
