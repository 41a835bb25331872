// HMAC (RFC 2104) over SHA-256, the only hash it is implemented for.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "efi/types.h"
#include "crypto/sha256.h"

// Hash identifiers; only kHmacSha256 has an implementation.
constexpr uint32_t kHmacSha1 = 0;
constexpr uint32_t kHmacSha256 = 2;
constexpr uint32_t kHmacSha384 = 3;
constexpr uint32_t kHmacSha512 = 4;
constexpr uint32_t kHmacSha224 = 5;

using HmacHashInit = void(EFIAPI*)(void* state);
using HmacHashUpdate = void(EFIAPI*)(void* state, const void* data, uint32_t length);
using HmacHashFinal = void(EFIAPI*)(uint8_t* digest, void* state);

// The inner pad (key XOR 0x36) is hashed at initialisation; the outer pad is kept. Holds
// key material until HmacFinal wipes it.
struct HmacContext {
  uint32_t hashSize;   // 32
  uint32_t blockSize;  // 64
  HmacHashInit init;
  HmacHashUpdate update;
  HmacHashFinal final;
  Sha256Context hash;
  uint8_t outerPad[kSha256BlockSize];
};

// Returns 0, or -1 for a missing context or key or an unimplemented hash. A key longer than
// the block is replaced by its digest; shorter keys are zero-padded.
int HmacInit(HmacContext* context, uint32_t hashId, const uint8_t* key, size_t keyLength);
int HmacUpdate(HmacContext* context, const void* data, size_t length);
// Writes hashSize bytes of MAC and zero-fills the context.
int HmacFinal(HmacContext* context, uint8_t* mac);

// One-shot MAC; returns 0 or -1 as HmacInit.
int Hmac(uint32_t hashId, const uint8_t* key, size_t keyLength, const void* data, size_t dataLength, uint8_t* mac);

// The chaining words after the key's inner and outer pad block (the core of PBKDF2).
int HmacSha256PadStates(const uint8_t* key, size_t keyLength, uint32_t inner[8], uint32_t outer[8]);
