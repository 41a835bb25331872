// The SHA-256 compression function on its two paths.
#pragma once

#include <stddef.h>
#include <stdint.h>

extern const uint32_t kSha256RoundConstants[64];

// Compresses blockCount 64-byte blocks into state, on whichever path the processor allows.
void Sha256Compress(uint32_t state[8], const uint8_t* blocks, size_t blockCount);
void Sha256PortableCompress(uint32_t state[8], const uint8_t* blocks, size_t blockCount);
void Sha256NiCompress(uint32_t state[8], const uint8_t* blocks, size_t blockCount);

// Compression of one block given as sixteen message words (no byte order conversion).
void Sha256PortableCompressWords(uint32_t state[8], const uint32_t words[16]);

// The iterations 2..count of a PBKDF2-HMAC-SHA-256 block. inner and outer are the chaining
// words after the key's inner and outer pad; u holds U1 on entry and the last U on return;
// sum holds U1 on entry and the XOR of all U on return (all as big-endian digest words).
void Sha256PortablePbkdf2Iterate(const uint32_t inner[8], const uint32_t outer[8], uint32_t u[8], uint32_t sum[8],
                                 uint32_t count);
void Sha256NiPbkdf2Iterate(const uint32_t inner[8], const uint32_t outer[8], uint32_t u[8], uint32_t sum[8],
                           uint32_t count);
