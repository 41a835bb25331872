// Public AES entry points: check the arguments and the schedule, then pick the path once.
#include "crypto/aes.h"

#include "crypto/aes_internal.h"
#include "crypto/processor_features.h"

int AesEncryptBlock(const uint8_t* in, uint8_t* out, const AesSchedule* schedule) {
  if (!in || !out || !schedule) return -1;
  int rounds = AesScheduleRounds(schedule);
  if (!rounds) return -1;
  if (CryptoUseAesInstructions(CryptoFeatures())) {
    AesNiEncryptBlock(in, out, schedule->roundKeys, rounds);
  } else {
    AesTableEncryptBlock(in, out, schedule->roundKeys, rounds);
  }
  return 0;
}

int AesDecryptBlock(const uint8_t* in, uint8_t* out, const AesSchedule* schedule) {
  if (!in || !out || !schedule) return -1;
  int rounds = AesScheduleRounds(schedule);
  if (!rounds) return -1;
  if (CryptoUseAesInstructions(CryptoFeatures())) {
    AesNiDecryptBlock(in, out, schedule->roundKeys, rounds);
  } else {
    AesTableDecryptBlock(in, out, schedule->roundKeys, rounds);
  }
  return 0;
}

namespace {

void TableCbcDecrypt(const uint8_t* in, const uint8_t* chainingValue, size_t blockCount, uint8_t* out,
                     const uint8_t* roundKeys, int rounds) {
  uint8_t previous[kAesBlockSize], cipher[kAesBlockSize];
  for (size_t i = 0; i < kAesBlockSize; ++i) previous[i] = chainingValue[i];
  for (; blockCount > 0; --blockCount, in += kAesBlockSize, out += kAesBlockSize) {
    for (size_t i = 0; i < kAesBlockSize; ++i) cipher[i] = in[i];
    AesTableDecryptBlock(cipher, out, roundKeys, rounds);
    for (size_t i = 0; i < kAesBlockSize; ++i) {
      out[i] ^= previous[i];
      previous[i] = cipher[i];
    }
  }
}

}  // namespace

int AesCbcDecrypt(const uint8_t* in, const uint8_t* chainingValue, size_t blockCount, uint8_t* out,
                  const AesSchedule* schedule) {
  if (!in || !chainingValue || !out || !schedule) return -1;
  int rounds = AesScheduleRounds(schedule);
  if (!rounds) return -1;
  if (CryptoUseAesInstructions(CryptoFeatures())) {
    AesNiCbcDecrypt(in, chainingValue, blockCount, out, schedule->roundKeys, rounds);
  } else {
    TableCbcDecrypt(in, chainingValue, blockCount, out, schedule->roundKeys, rounds);
  }
  return 0;
}
