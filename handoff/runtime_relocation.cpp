#include "handoff/runtime_relocation.h"

#include "crypto/crc32.h"
#include "memory/memory.h"
#include "memory/memory_map.h"
#include "lib/mem.h"
#include "output/error_report.h"

namespace {

bool IsRuntime(const EFI_MEMORY_DESCRIPTOR* d) { return (d->Attribute & EFI_MEMORY_RUNTIME) != 0; }
bool IsRuntimeServices(const EFI_MEMORY_DESCRIPTOR* d) {
  return d->Type == EfiRuntimeServicesCode || d->Type == EfiRuntimeServicesData;
}
UINT64 Bytes(const EFI_MEMORY_DESCRIPTOR* d) { return d->NumberOfPages * EFI_PAGE_SIZE; }

bool Inside(UINT64 address, UINT64 start, UINT64 size) { return address >= start && address - start < size; }

// Gives every runtime descriptor the next kernel address of the runtime area.
EFI_STATUS AssignVirtualAddresses(EFI_MEMORY_DESCRIPTOR* map, EFI_MEMORY_DESCRIPTOR* end, UINTN descriptor_size,
                                  const RuntimeArea& area, UINTN* count) {
  UINT64 next = area.virtual_start;
  *count = 0;
  for (EFI_MEMORY_DESCRIPTOR* d = map; d < end; d = NextDescriptor(d, descriptor_size)) {
    if (d->Type == EfiReservedMemoryType) d->Attribute &= ~EFI_MEMORY_RUNTIME;
    if (!IsRuntime(d)) continue;
    UINT64 physical = KernelToPhysical(next);
    if (physical < area.low_physical || physical + Bytes(d) > area.high_physical) return EFI_NO_MAPPING;
    d->VirtualStart = next;
    next += Bytes(d);
    ++*count;
  }
  return EFI_SUCCESS;
}

void ResealSystemTable() {
  gST->Hdr.CRC32 = 0;
  gST->Hdr.CRC32 = Crc32(0, gST, gST->Hdr.HeaderSize);
}

void SealSystemTableWithoutRuntime() {
  gST->RuntimeServices = nullptr;
  ResealSystemTable();
}

// Where the configuration-table entries are now: a rebased array pointer is a kernel
// address whose physical image holds them.
EFI_CONFIGURATION_TABLE* ConfigurationEntries() {
  UINT64 pointer = reinterpret_cast<UINT64>(gST->ConfigurationTable);
  if (pointer > kKernelPhysicalMask) pointer = KernelToPhysical(pointer);
  return reinterpret_cast<EFI_CONFIGURATION_TABLE*>(pointer);
}

// The region [start, start + size) moved to new_place and answers to virtual_start: move
// the system table with it and rebase the table pointers that lie inside it.
void RebaseSystemTable(UINT64 start, UINT64 size, UINT64 new_place, UINT64 virtual_start) {
  UINT64 table = reinterpret_cast<UINT64>(gST);
  if (Inside(table, start, size)) {
    gST = reinterpret_cast<EFI_SYSTEM_TABLE*>(KernelToPhysical(table - start + new_place));
  }
  UINT64 config = reinterpret_cast<UINT64>(gST->ConfigurationTable);
  if (Inside(config, start, size)) {
    gST->ConfigurationTable = reinterpret_cast<EFI_CONFIGURATION_TABLE*>(config - start + virtual_start);
  }
  EFI_CONFIGURATION_TABLE* entries = ConfigurationEntries();
  for (UINTN i = 0; entries && i < gST->NumberOfTableEntries; ++i) {
    UINT64 pointer = reinterpret_cast<UINT64>(entries[i].VendorTable);
    if (Inside(pointer, start, size)) entries[i].VendorTable = reinterpret_cast<VOID*>(pointer - start + virtual_start);
  }
}

}  // namespace

EFI_STATUS RelocateRuntimeServices(EFI_MEMORY_DESCRIPTOR* map, EFI_MEMORY_DESCRIPTOR* map_end,
                                   EFI_MEMORY_DESCRIPTOR** append_end, UINTN descriptor_size,
                                   UINT32 descriptor_version, const RuntimeArea& area) {
  UINTN count = 0;
  EFI_STATUS status = AssignVirtualAddresses(map, map_end, descriptor_size, area, &count);
  if (EFI_ERROR(status)) return ReportError(kStatusBootEnding, "Runtime services do not fit the runtime area\n");
  if (count > 0) {
    UINTN size = static_cast<UINTN>(reinterpret_cast<UINT8*>(map_end) - reinterpret_cast<UINT8*>(map));
    if (EFI_ERROR(gRT->SetVirtualAddressMap(size, descriptor_size, descriptor_version, map))) {
      return ReportError(kStatusBootEnding, "Error in SetVirtualAddressMap\n");
    }
  } else {
    SealSystemTableWithoutRuntime();
  }
  for (EFI_MEMORY_DESCRIPTOR* d = map; d < map_end; d = NextDescriptor(d, descriptor_size)) {
    if (!IsRuntime(d) || !IsRuntimeServices(d)) continue;
    UINT64 new_place = KernelToPhysical(d->VirtualStart);
    if (new_place == d->PhysicalStart) continue;
    UINT64 old_place = d->PhysicalStart;
    UINT64 size = Bytes(d);
    MemCopy(reinterpret_cast<void*>(new_place), reinterpret_cast<void*>(old_place), size);
    MemZero(reinterpret_cast<void*>(old_place), size);
    RebaseSystemTable(old_place, size, new_place, d->VirtualStart);
    if (!append_end) {
      d->PhysicalStart = new_place;
      continue;
    }
    EFI_MEMORY_DESCRIPTOR moved = *d;
    d->Type = EfiConventionalMemory;
    d->Attribute &= ~EFI_MEMORY_RUNTIME;
    d->VirtualStart = 0;
    EFI_MEMORY_DESCRIPTOR* piece = nullptr;
    if (EFI_ERROR(MemoryMapSplit(map, append_end, descriptor_size, new_place, moved.NumberOfPages, &piece))) {
      return ReportError(kStatusBootEnding, "Could not create subregion");
    }
    piece->Type = moved.Type;
    piece->Attribute |= EFI_MEMORY_RUNTIME;
    piece->VirtualStart = moved.VirtualStart;
  }
  // The firmware sealed the table during SetVirtualAddressMap; the rebased pointers above
  // came after, and the kernel checks the header CRC.
  ResealSystemTable();
  return EFI_SUCCESS;
}
