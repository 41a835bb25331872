#include "ui/glyph_cache.h"

#include "draw/log_error.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "ui/archive_image.h"

struct UIGlyphCacheEntry {
  char name[kArchiveNameSize];
  DUPixel* pixels;  // null: the archive has no such picture (or it does not decode)
  DUSize size;
  UIGlyphCacheEntry* next;
};

namespace {

bool Lookup(void* context, const char* name, UIPicture* picture) {
  auto* cache = static_cast<UIGlyphCache*>(context);
  if (cache == nullptr || name == nullptr) return false;
  UIGlyphCacheEntry* entry = cache->entries;
  while (entry != nullptr && AsciiStrCmp(entry->name, name) != 0) entry = entry->next;
  if (entry == nullptr) {
    if (AsciiStrnLen(name, kArchiveNameSize) >= kArchiveNameSize) return false;  // no entry can carry it
    entry = static_cast<UIGlyphCacheEntry*>(PoolAllocateZero(sizeof(UIGlyphCacheEntry)));
    if (entry == nullptr) return false;
    AsciiStrCopy(entry->name, sizeof(entry->name), name);
    UINTN bytes = 0;
    if (ArchiveCopyPNGImage(cache->archive, name, &entry->pixels, &entry->size, &bytes, FALSE) != 0) {
      entry->pixels = nullptr;
    }
    entry->next = cache->entries;
    cache->entries = entry;
  }
  if (entry->pixels == nullptr) return false;
  *picture = UIPicture{entry->pixels, entry->size};
  return true;
}

}  // namespace

UINT32 UIGlyphCacheCreate(const Archive* archive, UIGlyphCache** out_cache) {
  if (archive == nullptr || out_cache == nullptr) {
    DULogError("UIGlyphCacheCreate", archive == nullptr ? "archive is NULL" : "cache is NULL");
    return 1;
  }
  auto* cache = static_cast<UIGlyphCache*>(PoolAllocateZero(sizeof(UIGlyphCache)));
  if (cache == nullptr) {
    DULogError("UIGlyphCacheCreate", "out of memory");
    return 1;
  }
  cache->archive = archive;
  *out_cache = cache;
  return 0;
}

void UIGlyphCacheDestroy(UIGlyphCache* cache) {
  if (cache == nullptr) return;
  while (UIGlyphCacheEntry* entry = cache->entries) {
    cache->entries = entry->next;
    PoolFree(entry->pixels);
    PoolFree(entry);
  }
  PoolFree(cache);
}

UIGlyphSource UIGlyphCacheSource(UIGlyphCache* cache) { return UIGlyphSource{Lookup, cache}; }
