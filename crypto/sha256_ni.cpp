// SHA-256 on the processor's SHA extensions. The state is kept as the two vectors the
// instructions work on: ABEF and CDGH.
#include <immintrin.h>

#include "crypto/sha256_internal.h"
#include "lib/mem.h"

#define SHA_NI_TARGET __attribute__((target("sha,sse4.1,ssse3")))

namespace {

struct ShaNiState {
  __m128i abef;
  __m128i cdgh;
};

SHA_NI_TARGET inline __m128i RoundConstants(int group) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kSha256RoundConstants + 4 * group));
}

// Four rounds with message words m (W[4g..4g+3]); on the way, the schedule of the later
// groups is advanced: next gets its sha256msg2 step, previous its sha256msg1 step.
#define SHA_NI_FOUR_ROUNDS(g, m, previous, next)                                 \
  do {                                                                           \
    __m128i wk = _mm_add_epi32(m, RoundConstants(g));                            \
    s.cdgh = _mm_sha256rnds2_epu32(s.cdgh, s.abef, wk);                          \
    if ((g) >= 3 && (g) <= 14) {                                                 \
      next = _mm_add_epi32(next, _mm_alignr_epi8(m, previous, 4));               \
      next = _mm_sha256msg2_epu32(next, m);                                      \
    }                                                                            \
    s.abef = _mm_sha256rnds2_epu32(s.abef, s.cdgh, _mm_shuffle_epi32(wk, 0x0E)); \
    if ((g) >= 1 && (g) <= 12) previous = _mm_sha256msg1_epu32(previous, m);     \
  } while (0)

// 64 rounds over message words m0..m3 (W0..W15 in order), added into s.
SHA_NI_TARGET inline void Rounds(ShaNiState& s, __m128i m0, __m128i m1, __m128i m2, __m128i m3) {
  const ShaNiState saved = s;
  SHA_NI_FOUR_ROUNDS(0, m0, m3, m1);
  SHA_NI_FOUR_ROUNDS(1, m1, m0, m2);
  SHA_NI_FOUR_ROUNDS(2, m2, m1, m3);
  SHA_NI_FOUR_ROUNDS(3, m3, m2, m0);
  SHA_NI_FOUR_ROUNDS(4, m0, m3, m1);
  SHA_NI_FOUR_ROUNDS(5, m1, m0, m2);
  SHA_NI_FOUR_ROUNDS(6, m2, m1, m3);
  SHA_NI_FOUR_ROUNDS(7, m3, m2, m0);
  SHA_NI_FOUR_ROUNDS(8, m0, m3, m1);
  SHA_NI_FOUR_ROUNDS(9, m1, m0, m2);
  SHA_NI_FOUR_ROUNDS(10, m2, m1, m3);
  SHA_NI_FOUR_ROUNDS(11, m3, m2, m0);
  SHA_NI_FOUR_ROUNDS(12, m0, m3, m1);
  SHA_NI_FOUR_ROUNDS(13, m1, m0, m2);
  SHA_NI_FOUR_ROUNDS(14, m2, m1, m3);
  SHA_NI_FOUR_ROUNDS(15, m3, m2, m0);
  s.abef = _mm_add_epi32(s.abef, saved.abef);
  s.cdgh = _mm_add_epi32(s.cdgh, saved.cdgh);
}

// Chaining words h0..h7 <-> ABEF/CDGH.
SHA_NI_TARGET inline ShaNiState FromWords(__m128i h0123, __m128i h4567) {
  __m128i badc = _mm_shuffle_epi32(h0123, 0xB1);
  __m128i efgh = _mm_shuffle_epi32(h4567, 0x1B);
  return ShaNiState{_mm_alignr_epi8(badc, efgh, 8), _mm_blend_epi16(efgh, badc, 0xF0)};
}

SHA_NI_TARGET inline void ToWords(const ShaNiState& s, __m128i* h0123, __m128i* h4567) {
  __m128i feba = _mm_shuffle_epi32(s.abef, 0x1B);
  __m128i dchg = _mm_shuffle_epi32(s.cdgh, 0xB1);
  *h0123 = _mm_blend_epi16(feba, dchg, 0xF0);
  *h4567 = _mm_alignr_epi8(dchg, feba, 8);
}

SHA_NI_TARGET inline __m128i LoadWords(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
SHA_NI_TARGET inline void StoreWords(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

}  // namespace

SHA_NI_TARGET void Sha256NiCompress(uint32_t state[8], const uint8_t* blocks, size_t blockCount) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  ShaNiState s = FromWords(LoadWords(state), LoadWords(state + 4));
  for (; blockCount > 0; --blockCount, blocks += 64) {
    const __m128i* p = reinterpret_cast<const __m128i*>(blocks);
    Rounds(s, _mm_shuffle_epi8(_mm_loadu_si128(p), byteSwap), _mm_shuffle_epi8(_mm_loadu_si128(p + 1), byteSwap),
           _mm_shuffle_epi8(_mm_loadu_si128(p + 2), byteSwap), _mm_shuffle_epi8(_mm_loadu_si128(p + 3), byteSwap));
  }
  __m128i h0123, h4567;
  ToWords(s, &h0123, &h4567);
  StoreWords(state, h0123);
  StoreWords(state + 4, h4567);
}

// Each iteration hashes the previous U (32 bytes, then the padding of a 96-byte message)
// from the inner pad's state, and that digest likewise from the outer pad's state.
SHA_NI_TARGET void Sha256NiPbkdf2Iterate(const uint32_t inner[8], const uint32_t outer[8], uint32_t u[8],
                                         uint32_t sum[8], uint32_t count) {
  const ShaNiState innerState = FromWords(LoadWords(inner), LoadWords(inner + 4));
  const ShaNiState outerState = FromWords(LoadWords(outer), LoadWords(outer + 4));
  const __m128i pad0 = _mm_set_epi32(0, 0, 0, static_cast<int>(0x80000000u));
  const __m128i pad1 = _mm_set_epi32(768, 0, 0, 0);
  __m128i u0 = LoadWords(u), u1 = LoadWords(u + 4);
  __m128i sum0 = LoadWords(sum), sum1 = LoadWords(sum + 4);
  for (uint32_t k = 2; k <= count; ++k) {
    ShaNiState s = innerState;
    Rounds(s, u0, u1, pad0, pad1);
    __m128i d0, d1;
    ToWords(s, &d0, &d1);
    s = outerState;
    Rounds(s, d0, d1, pad0, pad1);
    ToWords(s, &u0, &u1);
    sum0 = _mm_xor_si128(sum0, u0);
    sum1 = _mm_xor_si128(sum1, u1);
  }
  StoreWords(u, u0);
  StoreWords(u + 4, u1);
  StoreWords(sum, sum0);
  StoreWords(sum + 4, sum1);
}
