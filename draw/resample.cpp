// The resampler filters rows first, then columns. Source rows are turned into opacity-
// weighted floats (blue, green and red times opacity, then opacity) and filtered across;
// a ring of filtered rows, as tall as the widest column filter, feeds the column pass, so
// scratch memory stays a few rows however large the picture is.
#include "draw/resample.h"

#include <emmintrin.h>

#include "draw/resample_weights.h"
#include "memory/memory.h"

namespace {

UINT32 gResampleFilter = kDUFilterAutomatic;

// Blue, green, red times opacity (0..65025) and opacity (0..255) of one pixel.
inline __m128 Weighted(DUPixel pixel) {
  __m128i bytes = _mm_cvtsi32_si128(int(pixel & 0xFFFFFF));
  __m128i words = _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
  __m128 colour = _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, _mm_setzero_si128()));
  float opacity = float(255 - (pixel >> 24));
  return _mm_add_ps(_mm_mul_ps(colour, _mm_set1_ps(opacity)), _mm_set_ps(opacity, 0, 0, 0));
}

// Back to a pixel: colour = weighted colour / opacity, transparency = 255 - opacity, both
// rounded and held to 0..255. A pixel that ends fully transparent keeps no colour.
inline DUPixel Unweighted(__m128 sum) {
  const __m128 half = _mm_set1_ps(0.5f);
  __m128 opacity = _mm_shuffle_ps(sum, sum, 0xFF);
  __m128 colour = _mm_add_ps(_mm_div_ps(sum, opacity), half);
  __m128 transparency = _mm_sub_ps(_mm_set1_ps(255.5f), opacity);
  const __m128 last = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
  __m128 value = _mm_or_ps(_mm_andnot_ps(last, colour), _mm_and_ps(last, transparency));
  value = _mm_min_ps(_mm_max_ps(value, _mm_setzero_ps()), _mm_set1_ps(255.0f));  // NaN becomes 0
  __m128i ints = _mm_cvttps_epi32(value);
  ints = _mm_packs_epi32(ints, ints);
  DUPixel pixel = DUPixel(_mm_cvtsi128_si32(_mm_packus_epi16(ints, ints)));
  return (pixel >> 24) == 255 ? 0xFF000000u : pixel;
}

void WeighRow(const DUPixel* source, INT32 width, float* out) {
  const __m128i zero = _mm_setzero_si128();
  INT32 x = 0;
  for (; x + 4 <= width; x += 4) {
    __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + x));
    __m128 opacity = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_set1_epi32(255), _mm_srli_epi32(pixels, 24)));
    // A 1 in place of the transparency byte: times the opacity it gives the opacity lane.
    pixels = _mm_or_si128(_mm_and_si128(pixels, _mm_set1_epi32(0x00FFFFFF)), _mm_set1_epi32(0x01000000));
    __m128i low = _mm_unpacklo_epi8(pixels, zero), high = _mm_unpackhi_epi8(pixels, zero);
    float* o = out + 4 * x;
    _mm_storeu_ps(o, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)), _mm_shuffle_ps(opacity, opacity, 0x00)));
    _mm_storeu_ps(o + 4, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)), _mm_shuffle_ps(opacity, opacity, 0x55)));
    _mm_storeu_ps(o + 8, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)), _mm_shuffle_ps(opacity, opacity, 0xAA)));
    _mm_storeu_ps(o + 12, _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero)), _mm_shuffle_ps(opacity, opacity, 0xFF)));
  }
  for (; x < width; ++x) _mm_storeu_ps(out + 4 * x, Weighted(source[x]));
}

void FilterAcross(const float* row, const DUAxisWeights& weights, float* out) {
  for (INT32 i = 0; i < weights.output_length; ++i) {
    const float* w = weights.weights + UINTN(i) * UINTN(weights.stride);
    const float* p = row + 4 * UINTN(weights.first[i]);
    __m128 sum = _mm_setzero_ps();
    for (INT32 k = 0; k < weights.count[i]; ++k) {
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(w[k]), _mm_loadu_ps(p + 4 * k)));
    }
    _mm_storeu_ps(out + 4 * UINTN(i), sum);
  }
}

inline DUPixel ToPixel(__m128 sum) {
  // Opacity below one half rounds to fully transparent: no colour to work out.
  return _mm_cvtss_f32(_mm_shuffle_ps(sum, sum, 0xFF)) <= 0.5f ? 0xFF000000u : Unweighted(sum);
}

// Short filters (the usual two to four rows) keep every row's weight in a register.
template <INT32 kCount>
void FilterDownShort(const float* const* rows, const float* w, INT32 width, DUPixel* out) {
  __m128 weights[kCount];
  for (INT32 k = 0; k < kCount; ++k) weights[k] = _mm_set1_ps(w[k]);
  for (INT32 x = 0; x < width; ++x) {
    __m128 sum = _mm_mul_ps(weights[0], _mm_loadu_ps(rows[0] + 4 * UINTN(x)));
    for (INT32 k = 1; k < kCount; ++k) sum = _mm_add_ps(sum, _mm_mul_ps(weights[k], _mm_loadu_ps(rows[k] + 4 * UINTN(x))));
    out[x] = ToPixel(sum);
  }
}

// Longer filters sum row by row into sum (4 floats a pixel) so the loops stream.
void FilterDownLong(const float* const* rows, const float* w, INT32 count, INT32 width, float* sum, DUPixel* out) {
  UINTN floats = 4 * UINTN(width);
  __m128 w0 = _mm_set1_ps(w[0]);
  for (UINTN i = 0; i < floats; i += 4) _mm_storeu_ps(sum + i, _mm_mul_ps(w0, _mm_loadu_ps(rows[0] + i)));
  for (INT32 k = 1; k < count; ++k) {
    __m128 wk = _mm_set1_ps(w[k]);
    const float* row = rows[k];
    for (UINTN i = 0; i < floats; i += 4) {
      _mm_storeu_ps(sum + i, _mm_add_ps(_mm_loadu_ps(sum + i), _mm_mul_ps(wk, _mm_loadu_ps(row + i))));
    }
  }
  for (INT32 x = 0; x < width; ++x) out[x] = ToPixel(_mm_loadu_ps(sum + 4 * UINTN(x)));
}

void FilterDown(const float* const* rows, const float* w, INT32 count, INT32 width, float* sum, DUPixel* out) {
  switch (count) {
    case 1: return FilterDownShort<1>(rows, w, width, out);
    case 2: return FilterDownShort<2>(rows, w, width, out);
    case 3: return FilterDownShort<3>(rows, w, width, out);
    case 4: return FilterDownShort<4>(rows, w, width, out);
    case 5: return FilterDownShort<5>(rows, w, width, out);
    default: return FilterDownLong(rows, w, count, width, sum, out);
  }
}

// Scratch of the two passes: one weighted source row and the ring of filtered rows.
struct Scratch {
  float* source_row = nullptr;
  float* ring = nullptr;
  float* sum = nullptr;            // one output row before it becomes pixels
  INT32* ring_rows = nullptr;      // which source row each slot holds
  const float** window = nullptr;  // the filtered rows of one output row
  ~Scratch() {
    PoolFree(source_row);
    PoolFree(ring);
    PoolFree(sum);
    PoolFree(ring_rows);
    PoolFree(window);
  }
};

EFI_STATUS ResampleFiltered(UINT32 filter, DUPixel* destination, const DUPixel* source, DUSize from, DUSize to) {
  DUAxisWeights across, down;
  EFI_STATUS status = DUAxisWeightsBuild(filter, from.width, to.width, &across);
  if (EFI_ERROR(status)) return status;
  status = DUAxisWeightsBuild(filter, from.height, to.height, &down);
  if (EFI_ERROR(status)) {
    DUAxisWeightsFree(&across);
    return status;
  }
  UINTN ring_size = UINTN(down.widest);
  UINTN filtered_floats = 4 * UINTN(to.width);
  Scratch scratch;
  scratch.source_row = static_cast<float*>(PoolAllocate(4 * UINTN(from.width) * sizeof(float)));
  scratch.ring = static_cast<float*>(PoolAllocate(ring_size * filtered_floats * sizeof(float)));
  scratch.sum = static_cast<float*>(PoolAllocate(filtered_floats * sizeof(float)));
  scratch.ring_rows = static_cast<INT32*>(PoolAllocate(ring_size * sizeof(INT32)));
  scratch.window = static_cast<const float**>(PoolAllocate(ring_size * sizeof(float*)));
  if (!scratch.source_row || !scratch.ring || !scratch.sum || !scratch.ring_rows || !scratch.window) {
    status = EFI_OUT_OF_RESOURCES;
  } else {
    for (UINTN i = 0; i < ring_size; ++i) scratch.ring_rows[i] = -1;
    for (INT32 y = 0; y < to.height; ++y) {
      INT32 first = down.first[y];
      for (INT32 k = 0; k < down.count[y]; ++k) {
        INT32 row = first + k;
        UINTN slot = UINTN(row) % ring_size;
        float* filtered = scratch.ring + slot * filtered_floats;
        if (scratch.ring_rows[slot] != row) {
          WeighRow(source + UINTN(row) * UINTN(from.width), from.width, scratch.source_row);
          FilterAcross(scratch.source_row, across, filtered);
          scratch.ring_rows[slot] = row;
        }
        scratch.window[k] = filtered;
      }
      FilterDown(scratch.window, down.weights + UINTN(y) * UINTN(down.stride), down.count[y], to.width, scratch.sum,
                 destination + UINTN(y) * UINTN(to.width));
    }
  }
  DUAxisWeightsFree(&across);
  DUAxisWeightsFree(&down);
  return status;
}

// Output (x, y) takes source (x * old width / new width, y * old height / new height).
void ResampleNearest(DUPixel* destination, const DUPixel* source, DUSize from, DUSize to) {
  for (INT32 y = 0; y < to.height; ++y) {
    const DUPixel* row = source + UINTN(UINT64(y) * UINT64(from.height) / UINT64(to.height)) * UINTN(from.width);
    DUPixel* out = destination + UINTN(y) * UINTN(to.width);
    for (INT32 x = 0; x < to.width; ++x) out[x] = row[UINT64(x) * UINT64(from.width) / UINT64(to.width)];
  }
}

}  // namespace

EFI_STATUS DUSetResampleFilter(UINT32 filter) {
  if (filter >= kDUFilterCount) return EFI_INVALID_PARAMETER;
  gResampleFilter = filter;
  return EFI_SUCCESS;
}

UINT32 DUResampleFilterChoice() { return gResampleFilter; }

EFI_STATUS DUResamplePixelBuffer(DUPixel* destination, const DUPixel* source, DUSize source_size,
                                 DUSize destination_size) {
  if (!destination || !source || source_size.width <= 0 || source_size.height <= 0 ||
      destination_size.width <= 0 || destination_size.height <= 0) {
    return EFI_INVALID_PARAMETER;
  }
  if (gResampleFilter >= kDUFilterCount) gResampleFilter = kDUFilterAutomatic;
  UINT32 filter = gResampleFilter;
  if (filter == kDUFilterAutomatic) {
    bool grows = destination_size.width > source_size.width || destination_size.height > source_size.height;
    filter = grows ? kDUFilterCatmullRom : kDUFilterBox;
  }
  if (filter == kDUFilterNearest) {
    ResampleNearest(destination, source, source_size, destination_size);
    return EFI_SUCCESS;
  }
  return ResampleFiltered(filter, destination, source, source_size, destination_size);
}
