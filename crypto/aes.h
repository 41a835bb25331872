// AES block cipher (FIPS 197) with 128-, 192- and 256-bit keys, and CBC decryption
// (NIST SP 800-38A). The processor's AES instructions are used when it has them, table-driven
// code otherwise; both read the same schedule layout and give the same results.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t kAesBlockSize = 16;

// Expanded round keys for one direction: up to 15 round keys, then the number of rounds
// times 16 (160, 192 or 224). A decryption schedule holds the keys of the equivalent
// inverse cipher, last round key first.
struct AesSchedule {
  uint8_t roundKeys[240];
  uint8_t roundBytes;
  uint8_t reserved[3];
};
static_assert(sizeof(AesSchedule) == 244);

// A decryption schedule and the encryption schedule of the same key.
struct AesContext {
  AesSchedule decrypt;
  AesSchedule encrypt;
};
static_assert(sizeof(AesContext) == 488);

// Build a schedule. keyLength is 16, 24 or 32 bytes, or the same in bits (128, 192, 256).
// Return 0, or -1 for a missing pointer or another length.
int AesEncryptKey(const uint8_t* key, uint32_t keyLength, AesSchedule* schedule);
int AesDecryptKey(const uint8_t* key, uint32_t keyLength, AesSchedule* schedule);

// One 16-byte block; in and out may be the same. Return 0, or -1 for a missing pointer or a
// schedule whose round byte is not 160, 192 or 224.
int AesEncryptBlock(const uint8_t* in, uint8_t* out, const AesSchedule* schedule);
int AesDecryptBlock(const uint8_t* in, uint8_t* out, const AesSchedule* schedule);

// CBC decryption of blockCount whole blocks with a decryption schedule: each output block is
// the block decryption XOR the previous ciphertext block (chainingValue for the first). The
// chaining value is not updated. in and out may be the same buffer. Return 0 or -1 as above.
int AesCbcDecrypt(const uint8_t* in, const uint8_t* chainingValue, size_t blockCount, uint8_t* out,
                  const AesSchedule* schedule);
