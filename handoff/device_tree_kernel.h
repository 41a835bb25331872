// Flattening the device tree into the kernel region at hand-off.
#pragma once

#include "handoff/device_tree.h"
#include "handoff/memory.h"

// Allocates a block of the flattened size in the kernel region and flattens the tree into it;
// *physical_address and *length are what the boot-arguments block records. The in-memory
// tree is left for the caller to free. EFI_OUT_OF_RESOURCES when the region has no room.
inline EFI_STATUS DeviceTreeFlattenToKernel(UINT64* physical_address, UINT32* length) {
  UINT32 size = 0;
  EFI_STATUS status = DeviceTreeFlattenedSize(&size);
  if (EFI_ERROR(status)) return status;
  UINT64 region_size = size;
  UINT64 kernel_address = 0;
  UINT64 physical = KernelMemoryAllocate(&region_size, &kernel_address);
  if (!physical) return EFI_OUT_OF_RESOURCES;
  status = DeviceTreeFlattenInto(reinterpret_cast<void*>(static_cast<UINTN>(physical)), size, length);
  if (EFI_ERROR(status)) {
    KernelMemoryFree(kernel_address, physical, region_size);
    return status;
  }
  *physical_address = physical;
  return EFI_SUCCESS;
}
