// MD5 (RFC 1321), incremental. Not for security: it names version-3 UUIDs.
#pragma once

#include <stdint.h>

constexpr uint32_t kMd5DigestSize = 16;

struct Md5Context {
  uint32_t state[4];
  uint32_t count[2];  // bytes hashed so far, low then high half
  uint8_t buffer[64];
};
static_assert(sizeof(Md5Context) == 88);

void Md5Init(Md5Context* context);
void Md5Update(Md5Context* context, const void* data, uint32_t length);
// Writes the 16-byte digest and zero-fills the context.
void Md5Final(uint8_t* digest, Md5Context* context);
