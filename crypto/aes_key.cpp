// Key expansion (FIPS 197 section 5.2) shared by both AES paths.
#include "crypto/aes.h"
#include "crypto/aes_internal.h"
#include "crypto/aes_tables.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

// Accepts the length in bytes or in bits; 0 for anything else.
uint32_t KeyBytes(uint32_t keyLength) {
  switch (keyLength) {
    case 16: case 128: return 16;
    case 24: case 192: return 24;
    case 32: case 256: return 32;
    default: return 0;
  }
}

uint32_t SubWord(uint32_t w) {
  const uint8_t* s = kAesTables.sbox;
  return AesColumn(s[w & 0xFF], s[(w >> 8) & 0xFF], s[(w >> 16) & 0xFF], s[w >> 24]);
}

// Words are little-endian loads of the key stream, so RotWord is a rotation right.
void ExpandKey(const uint8_t* key, uint32_t keyBytes, AesSchedule* schedule) {
  const uint32_t nk = keyBytes / 4;
  const uint32_t rounds = nk + 6;
  const uint32_t total = 4 * (rounds + 1);
  uint32_t w[60];
  for (uint32_t i = 0; i < nk; ++i) w[i] = LoadLe32(key + 4 * i);
  uint8_t rcon = 1;
  for (uint32_t i = nk; i < total; ++i) {
    uint32_t t = w[i - 1];
    if (i % nk == 0) {
      t = SubWord((t >> 8) | (t << 24)) ^ rcon;
      rcon = AesXtime(rcon);
    } else if (nk == 8 && i % nk == 4) {
      t = SubWord(t);
    }
    w[i] = w[i - nk] ^ t;
  }
  MemZero(schedule, sizeof(*schedule));
  for (uint32_t i = 0; i < total; ++i) StoreLe32(schedule->roundKeys + 4 * i, w[i]);
  schedule->roundBytes = static_cast<uint8_t>(16 * rounds);
  CryptoWipe(w, sizeof(w));
}

uint32_t InvMixColumn(uint32_t c) {
  uint8_t a0 = c & 0xFF, a1 = (c >> 8) & 0xFF, a2 = (c >> 16) & 0xFF, a3 = c >> 24;
  auto mul = AesGfMultiply;
  return AesColumn(mul(a0, 14) ^ mul(a1, 11) ^ mul(a2, 13) ^ mul(a3, 9),
                   mul(a0, 9) ^ mul(a1, 14) ^ mul(a2, 11) ^ mul(a3, 13),
                   mul(a0, 13) ^ mul(a1, 9) ^ mul(a2, 14) ^ mul(a3, 11),
                   mul(a0, 11) ^ mul(a1, 13) ^ mul(a2, 9) ^ mul(a3, 14));
}

}  // namespace

int AesScheduleRounds(const AesSchedule* schedule) {
  switch (schedule->roundBytes) {
    case 160: return 10;
    case 192: return 12;
    case 224: return 14;
    default: return 0;
  }
}

int AesEncryptKey(const uint8_t* key, uint32_t keyLength, AesSchedule* schedule) {
  uint32_t keyBytes = KeyBytes(keyLength);
  if (!key || !schedule || !keyBytes) return -1;
  ExpandKey(key, keyBytes, schedule);
  return 0;
}

// The equivalent inverse cipher: round keys in reverse order, the inner ones passed through
// InvMixColumns, which is what both the tables and the AESDEC instruction expect.
int AesDecryptKey(const uint8_t* key, uint32_t keyLength, AesSchedule* schedule) {
  uint32_t keyBytes = KeyBytes(keyLength);
  if (!key || !schedule || !keyBytes) return -1;
  AesSchedule forward;
  ExpandKey(key, keyBytes, &forward);
  const int rounds = AesScheduleRounds(&forward);
  MemZero(schedule, sizeof(*schedule));
  for (int r = 0; r <= rounds; ++r) {
    const uint8_t* from = forward.roundKeys + 16 * (rounds - r);
    uint8_t* to = schedule->roundKeys + 16 * r;
    for (int c = 0; c < 4; ++c) {
      uint32_t column = LoadLe32(from + 4 * c);
      StoreLe32(to + 4 * c, (r == 0 || r == rounds) ? column : InvMixColumn(column));
    }
  }
  schedule->roundBytes = forward.roundBytes;
  CryptoWipe(&forward, sizeof(forward));
  return 0;
}
