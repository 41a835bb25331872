#include "kernel/adler32.h"

#include <tmmintrin.h>

#include "hw/hw.h"

namespace {

constexpr uint32_t kModulus = 65521;
// Bytes the scalar sums can take before b could pass 2^32.
constexpr size_t kScalarFold = 5000;
// The vector sums fold after at most this many 32-byte blocks (5536 bytes, under 5552).
constexpr size_t kVectorBlocksPerFold = 173;

struct AdlerSums {
  uint32_t a;
  uint32_t b;
};

void ScalarUpdate(AdlerSums* sums, const uint8_t* p, size_t length) {
  uint32_t a = sums->a;
  uint32_t b = sums->b;
  while (length > 0) {
    size_t run = length < kScalarFold ? length : kScalarFold;
    length -= run;
    for (; run >= 4; run -= 4, p += 4) {
      a += p[0];
      b += a;
      a += p[1];
      b += a;
      a += p[2];
      b += a;
      a += p[3];
      b += a;
    }
    for (; run > 0; --run) {
      a += *p++;
      b += a;
    }
    a %= kModulus;
    b %= kModulus;
  }
  sums->a = a;
  sums->b = b;
}

__attribute__((target("ssse3"))) uint32_t HorizontalSum(__m128i v) {
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(v));
}

// Sums blocks of 32 aligned bytes. Within a fold, b gains 32 * a for every block before
// it (kept in a_before and scaled once at the end) plus the byte weights 32..1.
__attribute__((target("ssse3"))) void VectorUpdate(AdlerSums* sums, const uint8_t* p, size_t blocks) {
  const __m128i weights_high = _mm_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17);
  const __m128i weights_low = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i ones = _mm_set1_epi16(1);
  const __m128i zero = _mm_setzero_si128();
  while (blocks > 0) {
    size_t n = blocks < kVectorBlocksPerFold ? blocks : kVectorBlocksPerFold;
    blocks -= n;
    __m128i a_before = _mm_setzero_si128();
    __m128i a_vec = _mm_setzero_si128();
    __m128i b_vec = _mm_setzero_si128();
    __m128i b_low = _mm_setzero_si128();
    for (size_t i = 0; i < n; ++i, p += 32) {
      __m128i high = _mm_load_si128(reinterpret_cast<const __m128i*>(p));
      __m128i low = _mm_load_si128(reinterpret_cast<const __m128i*>(p + 16));
      a_before = _mm_add_epi32(a_before, a_vec);
      a_vec = _mm_add_epi32(a_vec, _mm_add_epi32(_mm_sad_epu8(high, zero), _mm_sad_epu8(low, zero)));
      b_vec = _mm_add_epi32(b_vec, _mm_madd_epi16(_mm_maddubs_epi16(high, weights_high), ones));
      b_low = _mm_add_epi32(b_low, _mm_madd_epi16(_mm_maddubs_epi16(low, weights_low), ones));
    }
    b_vec = _mm_add_epi32(_mm_add_epi32(b_vec, b_low), _mm_slli_epi32(a_before, 5));
    uint64_t b = sums->b + uint64_t(sums->a) * 32 * n + HorizontalSum(b_vec);
    sums->a = (sums->a + HorizontalSum(a_vec)) % kModulus;
    sums->b = static_cast<uint32_t>(b % kModulus);
  }
}

bool HasSsse3() { return (HwCpuid(1).ecx & hw::kLeaf1EcxSsse3) != 0 && HwSseEnabled(); }

}  // namespace

uint32_t CalculateAdler32(const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  AdlerSums sums = {1, 0};
  if (length >= 64 && HasSsse3()) {
    size_t head = (16 - (reinterpret_cast<uintptr_t>(p) & 15)) & 15;
    ScalarUpdate(&sums, p, head);
    p += head;
    length -= head;
    size_t blocks = length / 32;
    VectorUpdate(&sums, p, blocks);
    p += blocks * 32;
    length -= blocks * 32;
  }
  ScalarUpdate(&sums, p, length);
  return (sums.b << 16) | sums.a;
}
