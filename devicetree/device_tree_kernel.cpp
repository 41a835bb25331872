#include "devicetree/device_tree_kernel.h"

#include "memory/memory.h"

EFI_STATUS DeviceTreeFlattenToKernel(UINT64* physical_address, UINT32* length) {
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
