// Host side of chunk lists: writing signed lists for disk images and checking them, with
// OpenSSL for RSA-2048 / SHA-256. The layout is the one the boot loader reads
// (boot/chunk_list.h).
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr uint32_t kDefaultChunkSize = 10 * 1024 * 1024;

struct EvpKeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using EvpKey = std::unique_ptr<EVP_PKEY, EvpKeyFree>;

// PEM files (PKCS#8 or traditional private keys; SubjectPublicKeyInfo or PKCS#1 public keys;
// a private key also serves as its public key). Null and a message in *error on failure.
EvpKey LoadPrivateKeyPem(const std::string& path, std::string* error);
EvpKey LoadPublicKeyPem(const std::string& path, std::string* error);
// A fresh RSA-2048 key (tests).
EvpKey GenerateRsa2048Key();

// The 256-byte big-endian modulus of an RSA-2048 key; empty for another kind of key.
std::vector<uint8_t> RsaModulus(EVP_PKEY* key);

// An unsigned chunk list for image in chunks of chunk_size bytes (the last may be shorter),
// with room for 1 + additional_signatures signatures (zero-filled).
std::vector<uint8_t> ChunkListLayout(const std::vector<uint8_t>& image, uint32_t chunk_size,
                                     uint8_t additional_signatures = 0);
// SHA-256 of bytes 0 to the end of the chunk table.
std::vector<uint8_t> ChunkListSignedDigest(const std::vector<uint8_t>& list);
// RSA PKCS#1 v1.5 signature of a SHA-256 digest; empty on failure.
std::vector<uint8_t> SignDigest(EVP_PKEY* key, const std::vector<uint8_t>& digest);
// Writes signature number index (0 = the first) into the list's signature area.
bool ChunkListPutSignature(std::vector<uint8_t>* list, size_t index, const std::vector<uint8_t>& signature);

// Layout plus the first signature made with key.
bool ChunkListCreate(const std::vector<uint8_t>& image, EVP_PKEY* key, uint32_t chunk_size, std::vector<uint8_t>* list,
                     std::string* error);

// What a check of a list against an image and a public key found.
struct ChunkListCheck {
  bool parsed = false;
  bool signature_ok = false;
  int signature_index = -1;    // which signature the key accepted
  uint64_t chunk_count = 0;
  uint64_t image_size_listed = 0;
  bool size_matches = false;
  int64_t first_bad_chunk = -1;  // -1: all chunks good
  uint64_t first_bad_offset = 0;
  uint64_t bad_chunks = 0;
  std::string problem;  // empty when everything holds
};
ChunkListCheck ChunkListVerify(const std::vector<uint8_t>& image, const std::vector<uint8_t>& list, EVP_PKEY* key);
