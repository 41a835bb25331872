// One pixel of compositing. The layer transparency is folded into the source pixel's own
// (t = t + (255 - t) x L / 255) before the pixels are mixed, so a view drawn half
// transparent shows half as strongly over an opaque screen; over a fully transparent
// destination the result is the source with the combined transparency.
#pragma once

#include "draw/geometry.h"

inline UINT32 DUDiv255(UINT32 x) { return x / 255; }

inline UINT32 DUFoldTransparency(UINT32 source_t, UINT32 layer) {
  return source_t + DUDiv255((255 - source_t) * layer);
}

// s over d with s's (already folded) transparency ts in 0..254. Integer divisions as
// written: the two colour terms are truncated separately.
inline DUPixel DUBlendPixel(DUPixel d, DUPixel s, UINT32 ts) {
  if (ts == 0) return s & 0x00FFFFFF;
  UINT32 td = d >> 24;
  UINT32 T = td * ts / 255;
  UINT32 wd = (255 - td) * ts / (255 - T);
  UINT32 ws = (255 - ts) * 255 / (255 - T);
  DUPixel out = T << 24;
  for (int shift = 0; shift < 24; shift += 8) {
    UINT32 sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
    out |= (sc * ws / 255 + dc * wd / 255) << shift;
  }
  return out;
}
