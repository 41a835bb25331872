// Compositing works four pixels at a time: groups whose source is wholly opaque or wholly
// transparent are copied or skipped, groups over an opaque destination (the screen's back
// buffer) are mixed in 16-bit lanes, and only the rest goes pixel by pixel.
#include "draw/composite.h"

#include <emmintrin.h>

#include "draw/blend.h"
#include "draw/scaled_copies.h"

namespace {

constexpr UINTN kPrefetchDistance = 512;

INT64 Min(INT64 a, INT64 b) { return a < b ? a : b; }
INT64 Max(INT64 a, INT64 b) { return a > b ? a : b; }

inline __m128i Div255(__m128i x) {
  // floor(x / 255) = (x * 0x8081) >> 23, exact for 0 <= x <= 65025.
  return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(INT16(0x8081))), 7);
}

// Two pixels widened to 16-bit lanes, over an opaque destination: each channel is
// s x (255 - ts) / 255 + d x ts / 255, and the result stays opaque. ts holds each pixel's
// transparency in all four of its lanes.
template <bool kLayer>
inline __m128i MixOverOpaque(__m128i s, __m128i d, __m128i ts, __m128i layer) {
  const __m128i full = _mm_set1_epi16(255);
  if (kLayer) ts = _mm_add_epi16(ts, Div255(_mm_mullo_epi16(_mm_sub_epi16(full, ts), layer)));
  __m128i from_source = Div255(_mm_mullo_epi16(s, _mm_sub_epi16(full, ts)));
  return _mm_add_epi16(from_source, Div255(_mm_mullo_epi16(d, ts)));
}

// Rows are long runs; asking for the lines ahead keeps both streams in flight. A prefetch
// never faults, so running past the buffer's end is harmless.
inline void Prefetch(const DUPixel* p) {
  _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<UINTN>(p) + kPrefetchDistance), _MM_HINT_T0);
}


inline void CompositePixel(DUPixel* d, DUPixel s, UINT32 layer) {
  UINT32 ts = s >> 24;
  if (ts == 255) return;
  if (layer) ts = DUFoldTransparency(ts, layer);
  *d = DUBlendPixel(*d, s, ts);
}

template <bool kLayer>
void CompositeRow(DUPixel* d, const DUPixel* s, INT64 count, UINT32 layer) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_set1_epi32(-1);
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  const __m128i layer_lanes = _mm_set1_epi16(INT16(layer));
  INT64 i = 0;
  for (; i + 4 <= count; i += 4) {
    Prefetch(s + i);
    Prefetch(d + i);
    __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    // Bit 15, 11, 7 and 3 of the byte masks are the four transparency bytes.
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(sv, ones)) & 0x8888) == 0x8888) continue;
    if (!kLayer && (_mm_movemask_epi8(_mm_cmpeq_epi8(sv, zero)) & 0x8888) == 0x8888) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), sv);
      continue;
    }
    __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(dv, zero)) & 0x8888) == 0x8888) {
      __m128i st = _mm_srli_epi32(sv, 24);
      __m128i ts = _mm_or_si128(st, _mm_slli_epi32(st, 16));  // each pixel's t in both of its words
      __m128i low = MixOverOpaque<kLayer>(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero),
                                          _mm_unpacklo_epi32(ts, ts), layer_lanes);
      __m128i high = MixOverOpaque<kLayer>(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero),
                                           _mm_unpackhi_epi32(ts, ts), layer_lanes);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_and_si128(_mm_packus_epi16(low, high), colour));
      continue;
    }
    for (INT64 k = i; k < i + 4; ++k) CompositePixel(d + k, s[k], layer);
  }
  for (; i < count; ++i) CompositePixel(d + i, s[i], layer);
}

}  // namespace

EFI_STATUS DUFillBufferRect(DUPixel colour, DUPixel* buffer, DUSize buffer_size, const DURect& rect) {
  if (!buffer) return EFI_INVALID_PARAMETER;
  INT64 left = Max(rect.x, 0), top = Max(rect.y, 0);
  INT64 right = Min(INT64(rect.x) + rect.width, buffer_size.width);
  INT64 bottom = Min(INT64(rect.y) + rect.height, buffer_size.height);
  for (INT64 y = top; y < bottom; ++y) {
    DUPixel* row = buffer + UINTN(y) * UINTN(buffer_size.width);
    for (INT64 x = left; x < right; ++x) row[x] = colour;
  }
  return EFI_SUCCESS;
}

EFI_STATUS DUCompositePixelBuffers(DUPixel* destination, DUSize destination_size, const DURect* clip,
                                   const DUPixel* source, DUSize source_size, DUPoint point, UINT8 transparency,
                                   const DUScaling* scaling) {
  if (!destination || !source) return EFI_INVALID_PARAMETER;
  DUScaledCopy* temporary = nullptr;
  if (scaling && scaling->enabled && (scaling->horizontal != kDUFixedOne || scaling->vertical != kDUFixedOne)) {
    const DUScaledCopy* copy = nullptr;
    EFI_STATUS status = DUScaledCopyFind(*scaling, source, source_size, &copy, &temporary);
    if (EFI_ERROR(status)) return status;
    source = copy->pixels;
    source_size = copy->size;
  }
  INT64 left = Max(0, point.x), top = Max(0, point.y);
  INT64 right = Min(destination_size.width, INT64(point.x) + source_size.width);
  INT64 bottom = Min(destination_size.height, INT64(point.y) + source_size.height);
  if (clip) {
    left = Max(left, clip->x);
    top = Max(top, clip->y);
    right = Min(right, INT64(clip->x) + clip->width);
    bottom = Min(bottom, INT64(clip->y) + clip->height);
  }
  EFI_STATUS status = right > left && bottom > top ? EFI_SUCCESS : EFI_NOT_FOUND;
  if (status == EFI_SUCCESS && transparency != 255) {
    for (INT64 y = top; y < bottom; ++y) {
      DUPixel* d = destination + UINTN(y) * UINTN(destination_size.width) + UINTN(left);
      const DUPixel* s = source + UINTN(y - point.y) * UINTN(source_size.width) + UINTN(left - point.x);
      if (transparency) {
        CompositeRow<true>(d, s, right - left, transparency);
      } else {
        CompositeRow<false>(d, s, right - left, 0);
      }
    }
  }
  DUScaledCopiesFree(&temporary);
  return status;
}
