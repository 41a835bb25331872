// CRC-32 by folding 64-byte strides with carry-less multiplication, then a Barrett
// reduction (the method of Gopal et al., "Fast CRC computation for generic polynomials
// using PCLMULQDQ"). The constants are powers of x modulo the bit-reflected polynomial.
#include <immintrin.h>
#include <wmmintrin.h>

#include "crypto/crc32_tables.h"

#define CRC_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

namespace {

CRC_CLMUL_TARGET inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// x * (k low, k high) folded onto the next 16 bytes of data.
CRC_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

}  // namespace

CRC_CLMUL_TARGET uint32_t Crc32ClmulFold(uint32_t crc, const uint8_t* p, size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  length -= 64;
  for (; length >= 64; length -= 64, p += 64) {
    x1 = Fold(x1, k1k2, Load(p));
    x2 = Fold(x2, k1k2, Load(p + 16));
    x3 = Fold(x3, k1k2, Load(p + 32));
    x4 = Fold(x4, k1k2, Load(p + 48));
  }
  x1 = Fold(x1, k3k4, x2);
  x1 = Fold(x1, k3k4, x3);
  x1 = Fold(x1, k3k4, x4);
  for (; length >= 16; length -= 16, p += 16) x1 = Fold(x1, k3k4, Load(p));

  // 128 bits to 64, then 64 to 32.
  __m128i x2r = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
  __m128i shifted = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), shifted);

  // Barrett reduction to the 32-bit remainder.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}
