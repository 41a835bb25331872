// Tracked pool and page allocations. Tags are carved 127 at a time from 4 KiB pool blocks,
// so tracking costs one firmware allocation per 127 allocations.
#include "output/console.h"
#include "memory/memory.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "output/error_report.h"

namespace {

struct Tag {
  UINT64 pool;        // non-zero for a pool allocation
  UINT64 page_count;  // pages only
  UINT64 page_address;
  Tag* next;
};
static_assert(sizeof(Tag) == 32);

constexpr UINTN kTagBlockSize = 4096;
constexpr UINTN kTagsPerBlock = kTagBlockSize / sizeof(Tag) - 1;  // the last slot records the block

Tag* gLiveTags = nullptr;
Tag* gFreeTags = nullptr;
Tag* gTagBlocks = nullptr;  // the block records, chained through next
UINTN gLiveCount = 0;

Tag* NewTag() {
  if (!gFreeTags) {
    void* block = nullptr;
    if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, kTagBlockSize, &block)) || !block) return nullptr;
    Tag* tags = static_cast<Tag*>(block);
    for (UINTN i = 0; i < kTagsPerBlock; ++i) {
      tags[i] = Tag{0, 0, 0, gFreeTags};
      gFreeTags = &tags[i];
    }
    Tag* record = &tags[kTagsPerBlock];
    *record = Tag{reinterpret_cast<UINT64>(block), 0, 0, gTagBlocks};
    gTagBlocks = record;
  }
  Tag* tag = gFreeTags;
  gFreeTags = tag->next;
  return tag;
}

// Tracks an allocation the firmware just made. Without a tag the allocation goes back, so
// that nothing is stranded untracked, and the caller sees a failed allocation.
[[nodiscard]] EFI_STATUS Track(UINT64 pool, UINT64 page_count, UINT64 page_address) {
  Tag* tag = NewTag();
  if (!tag) {
    if (pool) {
      gBS->FreePool(reinterpret_cast<void*>(pool));
    } else {
      gBS->FreePages(page_address, page_count);
    }
    return ReportError(EFI_OUT_OF_RESOURCES, "Can't allocate memory tag\n");
  }
  *tag = Tag{pool, page_count, page_address, gLiveTags};
  gLiveTags = tag;
  ++gLiveCount;
  return EFI_SUCCESS;
}

// Unlinks the first live tag that matches; false when none does.
template <typename Match>
bool Unlink(Match match) {
  for (Tag** link = &gLiveTags; *link; link = &(*link)->next) {
    Tag* tag = *link;
    if (match(*tag)) {
      *link = tag->next;
      tag->next = gFreeTags;
      gFreeTags = tag;
      --gLiveCount;
      return true;
    }
  }
  return false;
}

void ForgetAllocations() {
  gLiveTags = gFreeTags = gTagBlocks = nullptr;
  gLiveCount = 0;
}
HEARTH_HOST_RESET(ForgetAllocations);

}  // namespace

void* PoolAllocate(UINTN size) {
  void* buffer = nullptr;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, size, &buffer)) || !buffer) return nullptr;
  if (EFI_ERROR(Track(reinterpret_cast<UINT64>(buffer), 0, 0))) return nullptr;
  return buffer;
}

void* PoolAllocateZero(UINTN size) {
  void* buffer = PoolAllocate(size);
  if (buffer) MemZero(buffer, size);
  return buffer;
}

EFI_STATUS PoolTrack(void* buffer) {
  return buffer ? Track(reinterpret_cast<UINT64>(buffer), 0, 0) : EFI_SUCCESS;
}

void PoolFree(void* buffer) {
  if (!buffer) return;
  if (EFI_ERROR(gBS->FreePool(buffer))) return;
  UINT64 address = reinterpret_cast<UINT64>(buffer);
  Unlink([address](const Tag& t) { return t.pool == address; });
}

void PoolFreeSecret(void* buffer, UINTN size) {
  if (!buffer) return;
  SecureZero(buffer, size);
  PoolFree(buffer);
}

EFI_STATUS PagesAllocate(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE memory_type, UINTN pages,
                         EFI_PHYSICAL_ADDRESS* address) {
  EFI_STATUS status = gBS->AllocatePages(type, memory_type, pages, address);
  if (EFI_ERROR(status)) return status;
  return Track(0, pages, *address);
}

EFI_STATUS PagesFree(EFI_PHYSICAL_ADDRESS address, UINTN pages) {
  EFI_STATUS status = gBS->FreePages(address, pages);
  if (EFI_ERROR(status)) return status;
  if (!Unlink([address](const Tag& t) { return t.pool == 0 && t.page_address == address; })) {
    ConsolePrint("WARNING: freeing %d unknown pages at %p\n", pages, address);
  }
  return EFI_SUCCESS;
}

void ReleaseAllAllocations() {
  for (Tag* tag = gLiveTags; tag; tag = tag->next) {
    if (tag->pool) {
      gBS->FreePool(reinterpret_cast<void*>(tag->pool));
    } else {
      gBS->FreePages(tag->page_address, tag->page_count);
    }
  }
  // The block records live inside their blocks: take the next link before freeing.
  for (Tag* record = gTagBlocks; record;) {
    Tag* next = record->next;
    gBS->FreePool(reinterpret_cast<void*>(record->pool));
    record = next;
  }
  ForgetAllocations();
}

UINTN TrackedAllocationCount() { return gLiveCount; }
