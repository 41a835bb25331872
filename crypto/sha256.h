// SHA-256 (FIPS 180-4), one-shot and incremental. The processor's SHA extensions are used
// when it has them.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr size_t kSha256DigestSize = 32;
constexpr size_t kSha256BlockSize = 64;

struct Sha256Context {
  uint32_t countLow;   // bytes hashed so far, low half
  uint32_t countHigh;  // and high half
  uint32_t state[8];
  uint8_t buffer[kSha256BlockSize];
};
static_assert(sizeof(Sha256Context) == 104);

// The standard's initial chaining words.
extern const uint32_t kSha256InitialState[8];

void Sha256Init(Sha256Context* context);
void Sha256Update(Sha256Context* context, const void* data, uint32_t length);
// Writes the 32-byte digest and zero-fills the context.
void Sha256Final(uint8_t* digest, Sha256Context* context);

// One-shot digest of length bytes; returns digest (null when digest is missing).
uint8_t* Sha256(const void* data, size_t length, uint8_t* digest);
