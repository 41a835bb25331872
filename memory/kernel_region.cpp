// The kernel region: memory at fixed kernel addresses, growing upward from the kernel's own
// load address. The kernel owns it after the hand-off.
#include "output/console.h"
#include "memory/memory.h"
#include "lib/host_reset.h"

namespace {

struct KernelRegion {
  UINT64 low_virtual = ~0ull;
  UINT64 high_virtual_end = 0;
  UINT64 low_physical = ~0ull;
  UINT64 high_physical_end = 0;
};

KernelRegion gRegion;

void ResetRegion() { gRegion = KernelRegion(); }
HEARTH_HOST_RESET(ResetRegion);

}  // namespace

UINT64 KernelMemoryAllocate(UINT64* size, UINT64* kernel_address) {
  if (!size || !gBS) return 0;
  // The region lives in the low 1 GiB and the block records 32-bit sizes: a request that
  // does not fit 32 bits once rounded to pages cannot be honoured.
  if (*size > 0xFFFFF000ull) return 0;
  UINT32 pages = static_cast<UINT32>((*size + EFI_PAGE_SIZE - 1) / EFI_PAGE_SIZE);
  UINT64 address = kernel_address ? *kernel_address : 0;
  if (address == 0) {
    // Only once something is allocated does the region have a top to grow from.
    if (gRegion.high_virtual_end == 0) return 0;
    address = gRegion.high_virtual_end;
  }
  UINT64 physical = KernelToPhysical(address);
  if (pages != 0) {
    EFI_PHYSICAL_ADDRESS at = physical;
    if (EFI_ERROR(PagesAllocate(AllocateAddress, EfiLoaderData, pages, &at))) {
      ConsolePrint("Error allocating 0x%lx pages at 0x%016qx alloc type %d\n", static_cast<UINT64>(pages), physical,
                   2);
      return 0;
    }
  }
  UINT32 rounded = pages * static_cast<UINT32>(EFI_PAGE_SIZE);
  *size = rounded;
  if (address < gRegion.low_virtual) gRegion.low_virtual = address;
  if (address + rounded > gRegion.high_virtual_end) gRegion.high_virtual_end = address + rounded;
  if (physical < gRegion.low_physical) gRegion.low_physical = physical;
  if (physical + rounded > gRegion.high_physical_end) gRegion.high_physical_end = physical + rounded;
  if (kernel_address) *kernel_address = address;
  return physical;
}

void KernelMemoryFree(UINT64 kernel_address, UINT64 physical_address, UINT64 size) {
  if (physical_address + size != gRegion.high_physical_end || kernel_address + size != gRegion.high_virtual_end) {
    return;  // only the topmost allocation can go
  }
  if (size != 0) {
    UINT64 pages = size / EFI_PAGE_SIZE;
    if (EFI_ERROR(PagesFree(physical_address, pages))) {
      ConsolePrint("Error deallocating 0x%lx pages at 0x%016qx\n", pages, physical_address);
      return;
    }
  }
  gRegion.high_physical_end -= size;
  gRegion.high_virtual_end -= size;
}

void KernelRegionBounds(UINT64* low_physical, UINT64* high_physical_end) {
  if (low_physical) *low_physical = gRegion.low_physical;
  if (high_physical_end) *high_physical_end = gRegion.high_physical_end;
}

void KernelRegionVirtualBounds(UINT64* low_virtual, UINT64* high_virtual_end) {
  if (low_virtual) *low_virtual = gRegion.low_virtual;
  if (high_virtual_end) *high_virtual_end = gRegion.high_virtual_end;
}

void KernelRegionReset() { ResetRegion(); }
