// Table-driven AES: four combined round tables per direction, column words little-endian.
#include "crypto/aes_internal.h"
#include "crypto/aes_tables.h"
#include "lib/mem.h"

namespace {

constexpr const uint32_t (&Te)[4][256] = kAesTables.encrypt;
constexpr const uint32_t (&Td)[4][256] = kAesTables.decrypt;

inline uint32_t Byte(uint32_t w, int n) { return (w >> (8 * n)) & 0xFF; }

inline uint32_t Key(const uint8_t* roundKeys, int round, int column) {
  return LoadLe32(roundKeys + 16 * round + 4 * column);
}

// Column c of the next state takes row r from column c + r (ShiftRows).
inline uint32_t EncryptColumn(const uint32_t s[4], int c) {
  return Te[0][Byte(s[c], 0)] ^ Te[1][Byte(s[(c + 1) & 3], 1)] ^ Te[2][Byte(s[(c + 2) & 3], 2)] ^
         Te[3][Byte(s[(c + 3) & 3], 3)];
}

inline uint32_t EncryptLastColumn(const uint32_t s[4], int c) {
  const uint8_t* sb = kAesTables.sbox;
  return AesColumn(sb[Byte(s[c], 0)], sb[Byte(s[(c + 1) & 3], 1)], sb[Byte(s[(c + 2) & 3], 2)],
                   sb[Byte(s[(c + 3) & 3], 3)]);
}

// Column c of the next state takes row r from column c - r (InvShiftRows).
inline uint32_t DecryptColumn(const uint32_t s[4], int c) {
  return Td[0][Byte(s[c], 0)] ^ Td[1][Byte(s[(c + 3) & 3], 1)] ^ Td[2][Byte(s[(c + 2) & 3], 2)] ^
         Td[3][Byte(s[(c + 1) & 3], 3)];
}

inline uint32_t DecryptLastColumn(const uint32_t s[4], int c) {
  const uint8_t* si = kAesTables.inverseSbox;
  return AesColumn(si[Byte(s[c], 0)], si[Byte(s[(c + 3) & 3], 1)], si[Byte(s[(c + 2) & 3], 2)],
                   si[Byte(s[(c + 1) & 3], 3)]);
}

}  // namespace

void AesTableEncryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds) {
  uint32_t s[4], t[4];
  for (int c = 0; c < 4; ++c) s[c] = LoadLe32(in + 4 * c) ^ Key(roundKeys, 0, c);
  for (int r = 1; r < rounds; ++r) {
    for (int c = 0; c < 4; ++c) t[c] = EncryptColumn(s, c) ^ Key(roundKeys, r, c);
    for (int c = 0; c < 4; ++c) s[c] = t[c];
  }
  for (int c = 0; c < 4; ++c) t[c] = EncryptLastColumn(s, c) ^ Key(roundKeys, rounds, c);
  for (int c = 0; c < 4; ++c) StoreLe32(out + 4 * c, t[c]);
}

void AesTableDecryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds) {
  uint32_t s[4], t[4];
  for (int c = 0; c < 4; ++c) s[c] = LoadLe32(in + 4 * c) ^ Key(roundKeys, 0, c);
  for (int r = 1; r < rounds; ++r) {
    for (int c = 0; c < 4; ++c) t[c] = DecryptColumn(s, c) ^ Key(roundKeys, r, c);
    for (int c = 0; c < 4; ++c) s[c] = t[c];
  }
  for (int c = 0; c < 4; ++c) t[c] = DecryptLastColumn(s, c) ^ Key(roundKeys, rounds, c);
  for (int c = 0; c < 4; ++c) StoreLe32(out + 4 * c, t[c]);
}
