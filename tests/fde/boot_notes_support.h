// Builds what the operating system leaves for the next boot: opened and encrypted boot-info
// payloads (OpenSSL's XTS-AES and SHA-256 as the reference) and boot notes.
#pragma once

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "fde/boot_info.h"
#include "crypto/crc32.h"

namespace boot_notes_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Pattern(size_t size, uint8_t seed) {
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
  return b;
}

inline void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe64(Bytes& b, size_t at, uint64_t v) {
  for (int i = 0; i < 8; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// An opened payload: unlock-key record (flag, 16 key bytes, the rest of the record) and a
// key-store record of blob_length bytes; the digest is filled in by Seal.
struct PlainPayload {
  Bytes bytes = Bytes(kBootInfoPayloadSize, 0);

  PlainPayload(uint32_t unlock_present, const Bytes& unlock_key, uint32_t blob_length, const Bytes& blob) {
    for (size_t i = 0; i < 8; ++i) bytes[32 + i] = static_cast<uint8_t>(0xA0 + i);
    PutLe32(bytes, kBootInfoUnlockRecordOffset, unlock_present);
    std::copy(unlock_key.begin(), unlock_key.end(), bytes.begin() + kBootInfoUnlockKeyOffset);
    Bytes rest = Pattern(112, 0x5C);  // the rest of the unlock record: never delivered
    std::copy(rest.begin(), rest.end(), bytes.begin() + kBootInfoUnlockKeyOffset + 16);
    PutLe32(bytes, kBootInfoKeyStoreRecordOffset, blob_length);
    std::copy(blob.begin(), blob.end(), bytes.begin() + kBootInfoKeyStoreBytesOffset);
    Seal();
  }

  void Seal() {
    // The three hashed ranges are contiguous: bytes 32 to 303.
    SHA256(bytes.data() + 32, kBootInfoPayloadSize - 32, bytes.data());
  }
};

// XTS-AES-128 of one data unit; the tweak value is the tweak key.
inline Bytes Encrypt(const Bytes& plain, const Bytes& data_key, const Bytes& tweak_key) {
  Bytes key = data_key;
  key.insert(key.end(), tweak_key.begin(), tweak_key.end());
  Bytes out(plain.size());
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  bool ok = EVP_EncryptInit_ex(ctx, EVP_aes_128_xts(), nullptr, key.data(), tweak_key.data()) == 1 &&
            EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), static_cast<int>(plain.size())) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("XTS encryption failed");
  return out;
}

// A key record for BootInfoOpen: length 16, data key then tweak key.
inline KeyRecord PayloadKey(const Bytes& data_key, const Bytes& tweak_key) {
  KeyRecord key{};
  key.length = kBootInfoKeyRecordLength;
  std::copy(data_key.begin(), data_key.end(), key.bytes);
  std::copy(tweak_key.begin(), tweak_key.end(), key.bytes + 16);
  return key;
}

// "boot-note": key size, CRC-32 of the key, candidate addresses.
inline Bytes Note(uint64_t key_size, const Bytes& key, const std::vector<uint64_t>& candidates) {
  Bytes note(16 + 8 * candidates.size());
  PutLe64(note, 0, key_size);
  PutLe64(note, 8, Crc32(0, key.data(), key.size()));
  for (size_t i = 0; i < candidates.size(); ++i) PutLe64(note, 16 + 8 * i, candidates[i]);
  return note;
}

}  // namespace boot_notes_test
