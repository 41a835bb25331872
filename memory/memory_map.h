// The firmware memory map: fetched with retries, then edited in place before the kernel
// receives it. Every walk uses the firmware's descriptor size as the stride.
#pragma once

#include "efi/efi.h"

// Fetches the current map into *buffer (grown as needed; the caller owns it, a pool block).
// Fatal (FatalError) when the firmware keeps refusing.
EFI_STATUS MemoryMapFetch(UINTN* map_size, EFI_MEMORY_DESCRIPTOR** buffer, UINTN* buffer_size, UINTN* map_key,
                          UINTN* descriptor_size, UINT32* descriptor_version);

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
EFI_STATUS MemoryMapSplit(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR** end, UINTN descriptor_size,
                          UINT64 address, UINT64 pages, EFI_MEMORY_DESCRIPTOR** found);
