// The S-box, its inverse and the combined round tables of the table-driven AES, computed at
// compile time from the field arithmetic. Column words are little-endian: row 0 in the low byte.
#pragma once

#include <stdint.h>

struct AesTables {
  uint8_t sbox[256];
  uint8_t inverseSbox[256];
  uint32_t encrypt[4][256];  // SubBytes + MixColumns for the byte of row r
  uint32_t decrypt[4][256];  // InvSubBytes + InvMixColumns for the byte of row r
};

constexpr uint8_t AesXtime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0)); }

constexpr uint8_t AesGfMultiply(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  for (; b; b >>= 1, a = AesXtime(a)) {
    if (b & 1) product ^= a;
  }
  return product;
}

constexpr uint32_t AesRotateLeft(uint32_t x, int bits) { return (x << bits) | (x >> (32 - bits)); }

constexpr uint32_t AesColumn(uint8_t r0, uint8_t r1, uint8_t r2, uint8_t r3) {
  return uint32_t(r0) | (uint32_t(r1) << 8) | (uint32_t(r2) << 16) | (uint32_t(r3) << 24);
}

constexpr AesTables MakeAesTables() {
  AesTables t{};
  // Powers of the generator 3 give logarithms and so multiplicative inverses.
  uint8_t power[255] = {};
  uint8_t log[256] = {};
  uint8_t p = 1;
  for (int i = 0; i < 255; ++i) {
    power[i] = p;
    log[p] = static_cast<uint8_t>(i);
    p = static_cast<uint8_t>(p ^ AesXtime(p));
  }
  for (int x = 0; x < 256; ++x) {
    uint8_t inverse = x ? power[(255 - log[x]) % 255] : 0;
    uint8_t s = inverse;
    for (int r = 1; r <= 4; ++r) s ^= static_cast<uint8_t>((inverse << r) | (inverse >> (8 - r)));
    s ^= 0x63;
    t.sbox[x] = s;
    t.inverseSbox[s] = static_cast<uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    uint8_t s = t.sbox[x];
    uint8_t i = t.inverseSbox[x];
    uint32_t e = AesColumn(AesGfMultiply(s, 2), s, s, AesGfMultiply(s, 3));
    uint32_t d = AesColumn(AesGfMultiply(i, 14), AesGfMultiply(i, 9), AesGfMultiply(i, 13), AesGfMultiply(i, 11));
    for (int r = 0; r < 4; ++r) {
      t.encrypt[r][x] = r ? AesRotateLeft(e, 8 * r) : e;
      t.decrypt[r][x] = r ? AesRotateLeft(d, 8 * r) : d;
    }
  }
  return t;
}

inline constexpr AesTables kAesTables = MakeAesTables();
