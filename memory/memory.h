// Every pool and page allocation of the loader goes through here, so that a failed boot
// can hand everything back; the kernel region (memory at fixed kernel addresses that the
// kernel owns after the hand-off) is a bump allocator on top.
#pragma once

#include "efi/efi.h"

// Pool of boot-services data, tracked. Null on failure (also when it cannot be tracked).
void* PoolAllocate(UINTN size);
// Pool allocation, zero-filled.
void* PoolAllocateZero(UINTN size);
// Tracks a pool block obtained elsewhere (for example a buffer the firmware allocated).
// Without room to track it the block is freed and EFI_OUT_OF_RESOURCES returned.
[[nodiscard]] EFI_STATUS PoolTrack(void* buffer);
// Frees a pool block; untracked blocks are freed without complaint.
void PoolFree(void* buffer);
// Zero-fills size bytes of a block that held a secret, then frees it.
void PoolFreeSecret(void* buffer, UINTN size);

// Page allocation with exactly the firmware's arguments; tracked on success. Pages that
// cannot be tracked go back (EFI_OUT_OF_RESOURCES).
[[nodiscard]] EFI_STATUS PagesAllocate(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE memory_type, UINTN pages,
                                       EFI_PHYSICAL_ADDRESS* address);
// Frees pages; unknown pages are reported with a warning and still freed.
[[nodiscard]] EFI_STATUS PagesFree(EFI_PHYSICAL_ADDRESS address, UINTN pages);

// Frees every tracked allocation and the tracking blocks themselves.
void ReleaseAllAllocations();

// Number of live tracked allocations (for tests and leak checks).
UINTN TrackedAllocationCount();

// Kernel addresses map to physical memory by their low 30 bits.
constexpr UINT64 kKernelPhysicalMask = 0x3FFFFFFF;
inline UINT64 KernelToPhysical(UINT64 kernel_address) { return kernel_address & kKernelPhysicalMask; }

// Allocates at a kernel address (the caller's, or the top of the region when *kernel_address
// is 0). Rounds *size up to pages. Returns the physical address, or 0 on failure.
UINT64 KernelMemoryAllocate(UINT64* size, UINT64* kernel_address);
// Frees the topmost kernel allocation; anything else is ignored.
void KernelMemoryFree(UINT64 kernel_address, UINT64 physical_address, UINT64 size);
// The physical extent of the kernel region: lowest address and highest end.
void KernelRegionBounds(UINT64* low_physical, UINT64* high_physical_end);
// The virtual extent of the kernel region.
void KernelRegionVirtualBounds(UINT64* low_virtual, UINT64* high_virtual_end);
// Forgets the kernel region (tests; a new boot attempt).
void KernelRegionReset();
