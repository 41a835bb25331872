// The persistent memory note: a region the operating system asked to find again after the
// restart. It is copied into the kernel region, and the note is pointed at the copy.
#include "flags/guids.h"
#include "efi/efi.h"
#include "memory/memory.h"
#include "memory/memory_map.h"
#include "handoff/platform_facts.h"
#include "lib/mem.h"

namespace {

constexpr UINTN kNoteSize = 24;
constexpr UINT32 kNoteAttributes = 7;  // non-volatile, boot and runtime access
constexpr const CHAR16* kNoteName = u"Persistent-memory-note";

bool ReadableType(UINT32 type) {
  return type != EfiMemoryMappedIO && type != EfiMemoryMappedIOPortSpace && type != EfiUnusableMemory;
}

void DeleteNote() { gRT->SetVariable(kNoteName, &TarnBootGuid, 0, 0, nullptr); }

}  // namespace

// The note's address comes from a variable: the range must be memory the firmware describes
// before it is read.
bool PhysicalRangeIsMemory(UINT64 address, UINT64 size) {
  EFI_MEMORY_DESCRIPTOR* map = nullptr;
  UINTN buffer_size = 0, map_size = 0, key = 0, descriptor_size = 0;
  UINT32 version = 0;
  if (EFI_ERROR(MemoryMapFetch(&map_size, &map, &buffer_size, &key, &descriptor_size, &version))) return false;
  auto* end = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(reinterpret_cast<UINT8*>(map) + map_size);
  UINT64 cursor = address;
  UINT64 limit = address + size;
  bool advanced = true;
  while (cursor < limit && advanced) {
    advanced = false;
    for (EFI_MEMORY_DESCRIPTOR* d = map; d < end; d = NextDescriptor(d, descriptor_size)) {
      UINT64 d_end = d->PhysicalStart + d->NumberOfPages * EFI_PAGE_SIZE;
      if (ReadableType(d->Type) && cursor >= d->PhysicalStart && cursor < d_end) {
        cursor = d_end;
        advanced = true;
        break;
      }
    }
  }
  PoolFree(map);
  return cursor >= limit;
}

void MovePersistentMemoryNote() {
  UINT8 note[kNoteSize];
  UINTN size = sizeof(note);
  UINT32 attributes = 0;
  if (!gRT || EFI_ERROR(gRT->GetVariable(kNoteName, &TarnBootGuid, &attributes, &size,
                                         note)) ||
      size != kNoteSize) {
    return;
  }
  UINT64 length = LoadLe64(note);
  UINT64 source = LoadLe64(note + 16);
  if (length == 0 || source == 0) return;
  if (source + length < source || !PhysicalRangeIsMemory(source, length)) {
    DeleteNote();
    return;
  }
  UINT64 region_size = length, kernel_address = 0;
  UINT64 copy = KernelMemoryAllocate(&region_size, &kernel_address);
  if (!copy) {
    DeleteNote();
    return;
  }
  MemCopy(reinterpret_cast<void*>(static_cast<UINTN>(copy)), reinterpret_cast<const void*>(static_cast<UINTN>(source)),
          static_cast<UINTN>(length));
  StoreLe64(note + 16, copy);
  if (EFI_ERROR(gRT->SetVariable(kNoteName, &TarnBootGuid, kNoteAttributes, sizeof(note),
                                 note))) {
    KernelMemoryFree(kernel_address, copy, region_size);
    DeleteNote();
  }
}
