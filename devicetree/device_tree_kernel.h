// Flattening the device tree into the kernel region at hand-off.
#pragma once

#include "devicetree/device_tree.h"

// Allocates a block of the flattened size in the kernel region and flattens the tree into it;
// *physical_address and *length are what the boot-arguments block records. The in-memory
// tree is left for the caller to free. EFI_OUT_OF_RESOURCES when the region has no room.
[[nodiscard]] EFI_STATUS DeviceTreeFlattenToKernel(UINT64* physical_address, UINT32* length);
