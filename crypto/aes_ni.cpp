// AES on the processor's AES instructions. Bulk modes run eight independent blocks through
// each round so the instruction latency is hidden.
#include <immintrin.h>
#include <wmmintrin.h>

#include "crypto/aes_internal.h"
#include "crypto/wipe.h"
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

// T times alpha in GF(2^128) is a one-bit shift of the little-endian 128-bit value, with
// 0x87 folded into the low byte when the top bit falls out. Tweaks run in the integer unit (the vector pipes are busy with AESDEC): T as two 64-bit
// halves, stored already combined with the first and the last round key, so a block needs
// one XOR before the rounds and none after (AESDECLAST adds its key, here key ^ T).
struct XtsTweak {
  uint64_t low, high;
  void Advance() {
    uint64_t reduce = static_cast<uint64_t>(static_cast<int64_t>(high) >> 63) & 0x87;
    high = (high << 1) | (low >> 63);
    low = (low << 1) ^ reduce;
  }
};

struct alignas(16) XtsLaneKeys {
  uint64_t first[kLanes][2];  // T ^ round key 0
  uint64_t last[kLanes][2];   // T ^ last round key
};

inline void SetLane(XtsLaneKeys* lanes, int i, const XtsTweak& t, const uint64_t k0[2], const uint64_t kl[2]) {
  lanes->first[i][0] = t.low ^ k0[0];
  lanes->first[i][1] = t.high ^ k0[1];
  lanes->last[i][0] = t.low ^ kl[0];
  lanes->last[i][1] = t.high ^ kl[1];
}

AES_NI_TARGET inline __m128i LaneKey(const uint64_t (*keys)[2], int i) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(keys[i]));
}

// The next group's tweaks are computed during the current group's rounds (there are at
// least nine), where their serial dependency hides behind the AESDEC latency.
AES_NI_TARGET void AesNiXtsDecryptBlocks(const uint8_t* in, size_t blockCount, uint8_t* out, uint8_t* tweak,
                                         const uint8_t* roundKeys, int rounds) {
  const uint64_t k0[2] = {LoadLe64(roundKeys), LoadLe64(roundKeys + 8)};
  const uint64_t kl[2] = {LoadLe64(roundKeys + 16 * rounds), LoadLe64(roundKeys + 16 * rounds + 8)};
  XtsTweak t{LoadLe64(tweak), LoadLe64(tweak + 8)};
  XtsLaneKeys lanes[2];
  XtsLaneKeys* current = &lanes[0];
  XtsLaneKeys* next = &lanes[1];
  const bool grouped = blockCount >= kLanes;
  if (grouped) {
    for (int i = 0; i < kLanes; ++i, t.Advance()) SetLane(current, i, t, k0, kl);
  }
  for (; blockCount >= kLanes; blockCount -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
    __m128i b[kLanes];
    for (int i = 0; i < kLanes; ++i) b[i] = _mm_xor_si128(Load(in + 16 * i), LaneKey(current->first, i));
    for (int r = 1; r < rounds; ++r) {
      __m128i k = Load(roundKeys + 16 * r);
      for (int i = 0; i < kLanes; ++i) b[i] = _mm_aesdec_si128(b[i], k);
      if (r <= kLanes) {
        SetLane(next, r - 1, t, k0, kl);
        t.Advance();
      }
    }
    for (int i = 0; i < kLanes; ++i) Store(out + 16 * i, _mm_aesdeclast_si128(b[i], LaneKey(current->last, i)));
    XtsLaneKeys* done = current;
    current = next;
    next = done;
  }
  // After whole groups t has run eight blocks ahead; step back to the first lane.
  if (grouped) t = XtsTweak{current->first[0][0] ^ k0[0], current->first[0][1] ^ k0[1]};
  for (; blockCount > 0; --blockCount, in += 16, out += 16, t.Advance()) {
    __m128i tv = _mm_set_epi64x(static_cast<int64_t>(t.high), static_cast<int64_t>(t.low));
    Store(out, _mm_xor_si128(DecryptOne(_mm_xor_si128(Load(in), tv), roundKeys, rounds), tv));
  }
  StoreLe64(tweak, t.low);
  StoreLe64(tweak + 8, t.high);
  CryptoWipe(lanes, sizeof(lanes));
}
