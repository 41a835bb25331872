#include "memory/memory_map.h"

#include "memory/memory.h"
#include "lib/mem.h"
#include "output/error_report.h"

namespace {
constexpr int kFetchAttempts = 4;
constexpr UINTN kSlack = 512;  // room for the descriptors our own allocation adds

bool GrowPool(MemoryMapBuffer* buffer, UINTN bytes, void*) {
  PoolFree(buffer->data);
  buffer->data = static_cast<EFI_MEMORY_DESCRIPTOR*>(PoolAllocate(bytes));
  buffer->capacity = buffer->data ? bytes : 0;
  return buffer->data != nullptr;
}
}  // namespace

EFI_STATUS MemoryMapFetchWith(const MemoryMapFetchPlan& plan, MemoryMapBuffer* buffer, MemoryMapSnapshot* map) {
  EFI_STATUS status = EFI_SUCCESS;
  for (int attempt = 0; attempt < kFetchAttempts; ++attempt) {
    UINTN needed = 0;
    status = gBS->GetMemoryMap(&needed, nullptr, &map->key, &map->descriptor_size, &map->version);
    if (status != EFI_BUFFER_TOO_SMALL) {
      return ReportError(kStatusBootEnding, "Couldn't get memory map size (%x)\n", status);
    }
    UINTN room = needed + plan.extra_descriptors * map->descriptor_size + kSlack;
    if (room > buffer->capacity || !buffer->data) {
      if (!plan.grow(buffer, room, plan.context)) return ReportError(kStatusBootEnding, "%s", plan.no_room_message);
    }
    map->size = buffer->capacity;
    status = gBS->GetMemoryMap(&map->size, buffer->data, &map->key, &map->descriptor_size, &map->version);
    if (!EFI_ERROR(status)) return status;
  }
  return ReportError(kStatusBootEnding, plan.gave_up_format, status);
}

EFI_STATUS MemoryMapFetch(UINTN* map_size, EFI_MEMORY_DESCRIPTOR** buffer, UINTN* buffer_size, UINTN* map_key,
                          UINTN* descriptor_size, UINT32* descriptor_version) {
  const MemoryMapFetchPlan plan{GrowPool, nullptr, 0, "Can't get current memory map (3)\n",
                                "Can't get current memory map after retries (%x)\n"};
  MemoryMapBuffer store{*buffer, *buffer_size};
  MemoryMapSnapshot map{};
  EFI_STATUS status = MemoryMapFetchWith(plan, &store, &map);
  *buffer = store.data;
  *buffer_size = store.capacity;
  *map_size = map.size;
  *map_key = map.key;
  *descriptor_size = map.descriptor_size;
  *descriptor_version = map.version;
  return status;
}

void MemoryMapSort(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR* end, UINTN descriptor_size) {
  UINT8* base = reinterpret_cast<UINT8*>(start);
  UINTN count = static_cast<UINTN>(reinterpret_cast<UINT8*>(end) - base) / descriptor_size;
  // Descriptors can be larger than the structure; move whole strides through a small buffer.
  UINT8 held[256];
  if (descriptor_size > sizeof(held)) return;
  for (UINTN i = 1; i < count; ++i) {
    MemCopy(held, base + i * descriptor_size, descriptor_size);
    UINT64 key = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(held)->PhysicalStart;
    UINTN j = i;
    while (j > 0 && reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(base + (j - 1) * descriptor_size)->PhysicalStart > key) {
      MemCopy(base + j * descriptor_size, base + (j - 1) * descriptor_size, descriptor_size);
      --j;
    }
    MemCopy(base + j * descriptor_size, held, descriptor_size);
  }
}

namespace {
bool IsRuntime(const EFI_MEMORY_DESCRIPTOR* d) { return d->Type != EfiReservedMemoryType && (d->Attribute & EFI_MEMORY_RUNTIME); }
}  // namespace

void MemoryMapRuntimeCensus(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR* end, UINTN descriptor_size,
                            UINTN* count, UINT64* pages) {
  *count = 0;
  *pages = 0;
  for (EFI_MEMORY_DESCRIPTOR* d = start; d < end; d = NextDescriptor(d, descriptor_size)) {
    if (!IsRuntime(d)) continue;
    ++*count;
    *pages += d->NumberOfPages;
  }
}

EFI_MEMORY_DESCRIPTOR* MemoryMapKeepRuntime(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR* end,
                                            UINTN descriptor_size) {
  EFI_MEMORY_DESCRIPTOR* out = start;
  for (EFI_MEMORY_DESCRIPTOR* d = start; d < end; d = NextDescriptor(d, descriptor_size)) {
    if (!IsRuntime(d)) continue;
    if (out != d) MemCopy(out, d, 5 * sizeof(UINT64));
    out = NextDescriptor(out, descriptor_size);
  }
  return out;
}

EFI_STATUS MemoryMapSplit(EFI_MEMORY_DESCRIPTOR* start, EFI_MEMORY_DESCRIPTOR** end, UINTN descriptor_size,
                          UINT64 address, UINT64 pages, EFI_MEMORY_DESCRIPTOR** found) {
  EFI_MEMORY_DESCRIPTOR* hit = nullptr;
  for (EFI_MEMORY_DESCRIPTOR* d = start; d < *end; d = NextDescriptor(d, descriptor_size)) {
    if (address >= d->PhysicalStart && address - d->PhysicalStart < d->NumberOfPages * EFI_PAGE_SIZE) {
      hit = d;
      break;
    }
  }
  if (!hit) return EFI_NOT_FOUND;
  if (hit->PhysicalStart < address) {
    UINT64 front = (address - hit->PhysicalStart + EFI_PAGE_SIZE - 1) / EFI_PAGE_SIZE;
    EFI_MEMORY_DESCRIPTOR* piece = *end;
    MemCopy(piece, hit, descriptor_size);
    piece->NumberOfPages = front;
    *end = NextDescriptor(*end, descriptor_size);
    hit->PhysicalStart += front * EFI_PAGE_SIZE;
    if (hit->VirtualStart) hit->VirtualStart += front * EFI_PAGE_SIZE;
    hit->NumberOfPages -= front;
  }
  if (hit->NumberOfPages > pages) {
    EFI_MEMORY_DESCRIPTOR* tail = *end;
    MemCopy(tail, hit, descriptor_size);
    tail->PhysicalStart += pages * EFI_PAGE_SIZE;
    if (tail->VirtualStart) tail->VirtualStart += pages * EFI_PAGE_SIZE;
    tail->NumberOfPages -= pages;
    *end = NextDescriptor(*end, descriptor_size);
    hit->NumberOfPages = pages;
  }
  if (found) *found = hit;
  return EFI_SUCCESS;
}
