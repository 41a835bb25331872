// The portable SHA-256 compression function.
#include "crypto/sha256_internal.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

const uint32_t kSha256RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

namespace {

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// Sixteen-word window of the message schedule, extended in place.
inline uint32_t Schedule(uint32_t w[16], int i) {
  uint32_t w15 = w[(i - 15) & 15], w2 = w[(i - 2) & 15];
  uint32_t s0 = Rotr(w15, 7) ^ Rotr(w15, 18) ^ (w15 >> 3);
  uint32_t s1 = Rotr(w2, 17) ^ Rotr(w2, 19) ^ (w2 >> 10);
  return w[i & 15] += s1 + w[(i - 7) & 15] + s0;
}

#define SHA256_ROUND(a, b, c, d, e, f, g, h, k, w)                                   \
  do {                                                                              \
    uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + (g ^ (e & (f ^ g))) + \
                  (k) + (w);                                                        \
    uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) | (c & (a | b))); \
    d += t1;                                                                        \
    h = t1 + t2;                                                                    \
  } while (0)

// Eight rounds with the working variables renamed instead of moved.
#define SHA256_EIGHT(i, W)                                                  \
  SHA256_ROUND(a, b, c, d, e, f, g, h, kSha256RoundConstants[i + 0], W(i + 0)); \
  SHA256_ROUND(h, a, b, c, d, e, f, g, kSha256RoundConstants[i + 1], W(i + 1)); \
  SHA256_ROUND(g, h, a, b, c, d, e, f, kSha256RoundConstants[i + 2], W(i + 2)); \
  SHA256_ROUND(f, g, h, a, b, c, d, e, kSha256RoundConstants[i + 3], W(i + 3)); \
  SHA256_ROUND(e, f, g, h, a, b, c, d, kSha256RoundConstants[i + 4], W(i + 4)); \
  SHA256_ROUND(d, e, f, g, h, a, b, c, kSha256RoundConstants[i + 5], W(i + 5)); \
  SHA256_ROUND(c, d, e, f, g, h, a, b, kSha256RoundConstants[i + 6], W(i + 6)); \
  SHA256_ROUND(b, c, d, e, f, g, h, a, kSha256RoundConstants[i + 7], W(i + 7))

void CompressWords(uint32_t state[8], uint32_t w[16]) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
#define PLAIN(i) w[i]
#define EXTENDED(i) Schedule(w, i)
  SHA256_EIGHT(0, PLAIN);
  SHA256_EIGHT(8, PLAIN);
  for (int i = 16; i < 64; i += 8) {
    SHA256_EIGHT(i, EXTENDED);
  }
#undef PLAIN
#undef EXTENDED
  state[0] += a; state[1] += b; state[2] += c; state[3] += d;
  state[4] += e; state[5] += f; state[6] += g; state[7] += h;
}

}  // namespace

void Sha256PortableCompress(uint32_t state[8], const uint8_t* blocks, size_t blockCount) {
  uint32_t w[16];
  for (; blockCount > 0; --blockCount, blocks += 64) {
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(blocks + 4 * i);
    CompressWords(state, w);
  }
  CryptoWipe(w, sizeof(w));
}

void Sha256PortableCompressWords(uint32_t state[8], const uint32_t words[16]) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i) w[i] = words[i];
  CompressWords(state, w);
  CryptoWipe(w, sizeof(w));
}

// A 32-byte message after a 64-byte pad block: one block of the message, 0x80 and the
// length 96 bytes in bits.
void Sha256PortablePbkdf2Iterate(const uint32_t inner[8], const uint32_t outer[8], uint32_t u[8], uint32_t sum[8],
                                 uint32_t count) {
  uint32_t w[16] = {};
  uint32_t state[8];
  for (uint32_t k = 2; k <= count; ++k) {
    for (int i = 0; i < 8; ++i) {
      w[i] = u[i];
      state[i] = inner[i];
    }
    w[8] = 0x80000000u;
    for (int i = 9; i < 15; ++i) w[i] = 0;
    w[15] = 768;
    CompressWords(state, w);
    for (int i = 0; i < 8; ++i) {
      w[i] = state[i];
      state[i] = outer[i];
    }
    w[8] = 0x80000000u;
    for (int i = 9; i < 15; ++i) w[i] = 0;
    w[15] = 768;
    CompressWords(state, w);
    for (int i = 0; i < 8; ++i) {
      u[i] = state[i];
      sum[i] ^= state[i];
    }
  }
  CryptoWipe(w, sizeof(w));
  CryptoWipe(state, sizeof(state));
}
