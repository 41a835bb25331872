// The firmware memory map: fetched with retries, then edited in place before the kernel
// receives it. Every walk uses the firmware's descriptor size as the stride.
#pragma once

#include "efi/efi.h"

// Where a fetched map goes. The buffer belongs to the caller.
struct MemoryMapBuffer {
  EFI_MEMORY_DESCRIPTOR* data;
  UINTN capacity;  // bytes
};
// What the firmware said about the map it wrote.
struct MemoryMapSnapshot {
  UINTN size;  // bytes used
  UINTN key;
  UINTN descriptor_size;
  UINT32 version;
};
// How to fetch: grow replaces buffer->data by a block of at least bytes (handing back the
// old one; false when it cannot); room for extra_descriptors more descriptors (and a little
// slack) is kept for what the caller adds afterwards. The messages say what failed.
struct MemoryMapFetchPlan {
  bool (*grow)(MemoryMapBuffer* buffer, UINTN bytes, void* context);
  void* context;
  UINTN extra_descriptors;
  const char* no_room_message;
  const char* gave_up_format;  // takes the last status
};
// The one fetch loop: asks for the size, grows the buffer when short and fetches, a few
// times over since every allocation can change the map. Reports a failure and returns
// kStatusBootEnding.
[[nodiscard]] EFI_STATUS MemoryMapFetchWith(const MemoryMapFetchPlan& plan, MemoryMapBuffer* buffer,
                                            MemoryMapSnapshot* map);

// Fetches the current map into *buffer (a pool block, grown as needed; the caller owns it).
[[nodiscard]] EFI_STATUS MemoryMapFetch(UINTN* map_size, EFI_MEMORY_DESCRIPTOR** buffer, UINTN* buffer_size,
                                        UINTN* map_key, UINTN* descriptor_size, UINT32* descriptor_version);

inline EFI_MEMORY_DESCRIPTOR* NextDescriptor(EFI_MEMORY_DESCRIPTOR* d, UINTN descriptor_size) {
  return reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(reinterpret_cast<UINT8*>(d) + descriptor_size);
}

// Insertion sort ascending by physical start.
void MemoryMapSort(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR* end, UINTN descriptor_size);
// Counts runtime descriptors (type not 0, runtime attribute) and their pages.
void MemoryMapRuntimeCensus(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR* end, UINTN descriptor_size,
                            UINTN* count, UINT64* pages);
// Keeps only the runtime descriptors; returns the new end.
EFI_MEMORY_DESCRIPTOR* MemoryMapKeepRuntime(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR* end,
                                            UINTN descriptor_size);
// Splits so that one descriptor covers exactly [address, address + pages); pieces are
// appended at *end (advanced). The buffer must have room for two more descriptors.
[[nodiscard]] EFI_STATUS MemoryMapSplit(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR** end,
                                        UINTN descriptor_size,
                                        UINT64 address, UINT64 pages, EFI_MEMORY_DESCRIPTOR** found);
