// "/chosen/memory-map": where the loader placed things in the kernel region.
#pragma once

#include "efi/types.h"

// Adds a property of that name (copied) whose value is the 32-bit address and the 32-bit
// size. EFI_OUT_OF_RESOURCES when the node or the name copy cannot be made.
[[nodiscard]] EFI_STATUS DeviceTreeAddMemoryMapEntry(const char* name, UINT64 address, UINT64 size);
