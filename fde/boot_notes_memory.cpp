#include "fde/boot_notes.h"

#include "efi/efi.h"
#include "memory/memory.h"
#include "memory/memory_map.h"

namespace {

constexpr UINT64 kPageSize = 4096;

// Memory whose contents survive from the last run and that nobody else relies on: the
// places a key copy can be, and where zeroing a few bytes harms nothing.
bool OrdinaryMemory(UINT32 type) {
  return type == EfiLoaderCode || type == EfiLoaderData || type == EfiBootServicesCode ||
         type == EfiBootServicesData || type == EfiConventionalMemory;
}

// The descriptor's range, without the first page; false for a range of no use or one that
// would wrap around the address space.
bool DescriptorRange(const EFI_MEMORY_DESCRIPTOR* d, UINT64* base, UINT64* size) {
  if (!OrdinaryMemory(d->Type) || d->NumberOfPages == 0) return false;
  if (d->NumberOfPages > (~UINT64{0} - d->PhysicalStart) / kPageSize) return false;
  UINT64 start = d->PhysicalStart;
  UINT64 end = start + d->NumberOfPages * kPageSize;
  if (start < kPageSize) start = kPageSize;  // address 0 and its page stay untouched
  if (end <= start) return false;
  *base = start;
  *size = end - start;
  return true;
}

void SortByBase(MemoryWindow* windows, UINTN count) {
  for (UINTN i = 1; i < count; ++i) {
    MemoryWindow held = windows[i];
    UINTN j = i;
    for (; j > 0 && windows[j - 1].base > held.base; --j) windows[j] = windows[j - 1];
    windows[j] = held;
  }
}

// Joins windows that touch, so that a copy straddling two descriptors is still found.
UINTN MergeAdjacent(MemoryWindow* windows, UINTN count) {
  if (count == 0) return 0;
  UINTN kept = 1;
  for (UINTN i = 1; i < count; ++i) {
    MemoryWindow& last = windows[kept - 1];
    if (last.base + last.size == windows[i].base) {
      last.size += windows[i].size;
    } else {
      windows[kept++] = windows[i];
    }
  }
  return kept;
}

}  // namespace

EFI_STATUS BootNoteMemoryWindows(MemoryWindow** windows, UINTN* count) {
  if (!windows || !count) return EFI_INVALID_PARAMETER;
  *windows = nullptr;
  *count = 0;
  UINTN map_size = 0, buffer_size = 0, map_key = 0, descriptor_size = 0;
  UINT32 descriptor_version = 0;
  EFI_MEMORY_DESCRIPTOR* map = nullptr;
  EFI_STATUS status = MemoryMapFetch(&map_size, &map, &buffer_size, &map_key, &descriptor_size, &descriptor_version);
  if (EFI_ERROR(status)) return status;
  if (descriptor_size < sizeof(EFI_MEMORY_DESCRIPTOR) || map_size > buffer_size) {
    PoolFree(map);
    return EFI_UNSUPPORTED;
  }
  const UINTN descriptors = map_size / descriptor_size;
  MemoryWindow* found = static_cast<MemoryWindow*>(PoolAllocate(sizeof(MemoryWindow) * (descriptors + 1)));
  if (!found) {
    PoolFree(map);
    return EFI_OUT_OF_RESOURCES;
  }
  UINTN n = 0;
  const UINT8* walk = reinterpret_cast<const UINT8*>(map);
  for (UINTN i = 0; i < descriptors; ++i, walk += descriptor_size) {
    UINT64 base = 0, size = 0;
    if (!DescriptorRange(reinterpret_cast<const EFI_MEMORY_DESCRIPTOR*>(walk), &base, &size)) continue;
    // Boot services identity-map physical memory.
    found[n++] = MemoryWindow{base, size, reinterpret_cast<UINT8*>(static_cast<UINTN>(base))};
  }
  PoolFree(map);
  SortByBase(found, n);
  *count = MergeAdjacent(found, n);
  *windows = found;
  return EFI_SUCCESS;
}
