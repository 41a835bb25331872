// Glyph pictures for the password field's glyph mode, served from a font archive
// ("Lucida13.efires"): each picture is decoded once, on first use (the "@2x" one on HiDPI
// screens), and kept until the cache is destroyed. Pictures the archive lacks are
// remembered as missing too, so a fallback costs one lookup.
#pragma once

#include "ui/archive.h"
#include "ui/password_field.h"

struct UIGlyphCacheEntry;

struct UIGlyphCache {
  const Archive* archive;  // the caller's; must outlive the cache
  UIGlyphCacheEntry* entries;
};

// 0, or 1 for a missing archive or output or when memory runs out (logged).
UINT32 UIGlyphCacheCreate(const Archive* archive, UIGlyphCache** out_cache);
// Frees every decoded picture; the fields that used the cache must not draw glyphs after.
void UIGlyphCacheDestroy(UIGlyphCache* cache);
// What UIPasswordFieldPictures.glyphs takes.
UIGlyphSource UIGlyphCacheSource(UIGlyphCache* cache);
