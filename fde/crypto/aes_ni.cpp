// AES on the processor's AES instructions. Bulk modes run eight independent blocks through
// each round so the instruction latency is hidden.
#include <immintrin.h>
#include <wmmintrin.h>

#include "fde/crypto/aes_internal.h"
#include "lib/mem.h"

#define AES_NI_TARGET __attribute__((target("aes,sse2")))

namespace {

constexpr int kLanes = 8;

AES_NI_TARGET inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
AES_NI_TARGET inline void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

AES_NI_TARGET inline __m128i DecryptOne(__m128i b, const uint8_t* roundKeys, int rounds) {
  b = _mm_xor_si128(b, Load(roundKeys));
  for (int r = 1; r < rounds; ++r) b = _mm_aesdec_si128(b, Load(roundKeys + 16 * r));
  return _mm_aesdeclast_si128(b, Load(roundKeys + 16 * rounds));
}

// Decrypts kLanes blocks in place.
AES_NI_TARGET inline void DecryptLanes(__m128i b[kLanes], const uint8_t* roundKeys, int rounds) {
  __m128i k = Load(roundKeys);
  for (int i = 0; i < kLanes; ++i) b[i] = _mm_xor_si128(b[i], k);
  for (int r = 1; r < rounds; ++r) {
    k = Load(roundKeys + 16 * r);
    for (int i = 0; i < kLanes; ++i) b[i] = _mm_aesdec_si128(b[i], k);
  }
  k = Load(roundKeys + 16 * rounds);
  for (int i = 0; i < kLanes; ++i) b[i] = _mm_aesdeclast_si128(b[i], k);
}

// T times alpha in GF(2^128): a one-bit shift of the little-endian 128-bit value, with 0x87
// folded into the low byte when the top bit falls out.
AES_NI_TARGET inline __m128i NextTweak(__m128i t) {
  __m128i carries = _mm_shuffle_epi32(_mm_srai_epi32(t, 31), 0x13);
  carries = _mm_and_si128(carries, _mm_set_epi32(0, 1, 0, 0x87));
  return _mm_xor_si128(_mm_add_epi64(t, t), carries);
}

}  // namespace

AES_NI_TARGET void AesNiEncryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds) {
  __m128i b = _mm_xor_si128(Load(in), Load(roundKeys));
  for (int r = 1; r < rounds; ++r) b = _mm_aesenc_si128(b, Load(roundKeys + 16 * r));
  Store(out, _mm_aesenclast_si128(b, Load(roundKeys + 16 * rounds)));
}

AES_NI_TARGET void AesNiDecryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds) {
  Store(out, DecryptOne(Load(in), roundKeys, rounds));
}

// Every ciphertext block a group needs is read before any of its output is written, so
// in-place decryption works.
AES_NI_TARGET void AesNiCbcDecrypt(const uint8_t* in, const uint8_t* chainingValue, size_t blockCount, uint8_t* out,
                                   const uint8_t* roundKeys, int rounds) {
  __m128i previous = Load(chainingValue);
  for (; blockCount >= kLanes; blockCount -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (int i = 0; i < kLanes; ++i) b[i] = Load(in + 16 * i);
    DecryptLanes(b, roundKeys, rounds);
    b[0] = _mm_xor_si128(b[0], previous);
    for (int i = 1; i < kLanes; ++i) b[i] = _mm_xor_si128(b[i], Load(in + 16 * (i - 1)));
    previous = Load(in + 16 * (kLanes - 1));
    for (int i = 0; i < kLanes; ++i) Store(out + 16 * i, b[i]);
  }
  for (; blockCount > 0; --blockCount, in += 16, out += 16) {
    __m128i c = Load(in);
    Store(out, _mm_xor_si128(DecryptOne(c, roundKeys, rounds), previous));
    previous = c;
  }
}

AES_NI_TARGET void AesNiXtsDecryptBlocks(const uint8_t* in, size_t blockCount, uint8_t* out, uint8_t* tweak,
                                         const uint8_t* roundKeys, int rounds) {
  __m128i t = Load(tweak);
  __m128i tweaks[kLanes];
  for (; blockCount >= kLanes; blockCount -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (int i = 0; i < kLanes; ++i) {
      tweaks[i] = t;
      t = NextTweak(t);
      b[i] = _mm_xor_si128(Load(in + 16 * i), tweaks[i]);
    }
    DecryptLanes(b, roundKeys, rounds);
    for (int i = 0; i < kLanes; ++i) Store(out + 16 * i, _mm_xor_si128(b[i], tweaks[i]));
  }
  for (; blockCount > 0; --blockCount, in += 16, out += 16) {
    __m128i b = DecryptOne(_mm_xor_si128(Load(in), t), roundKeys, rounds);
    Store(out, _mm_xor_si128(b, t));
    t = NextTweak(t);
  }
  Store(tweak, t);
  SecureZero(tweaks, sizeof(tweaks));
}
