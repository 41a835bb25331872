#include "crypto/sha256.h"

#include "crypto/processor_features.h"
#include "crypto/sha256_internal.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

const uint32_t kSha256InitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

void Sha256Compress(uint32_t state[8], const uint8_t* blocks, size_t blockCount) {
  if (CryptoUseShaInstructions(CryptoFeatures())) {
    Sha256NiCompress(state, blocks, blockCount);
  } else {
    Sha256PortableCompress(state, blocks, blockCount);
  }
}

void Sha256Init(Sha256Context* context) {
  if (!context) return;
  context->countLow = 0;
  context->countHigh = 0;
  MemCopy(context->state, kSha256InitialState, sizeof(context->state));
  MemZero(context->buffer, sizeof(context->buffer));
}

void Sha256Update(Sha256Context* context, const void* data, uint32_t length) {
  if (!context || !data || !length) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t used = context->countLow % kSha256BlockSize;
  uint32_t low = context->countLow + length;
  context->countHigh += low < context->countLow;
  context->countLow = low;
  if (used) {
    uint32_t take = kSha256BlockSize - used;
    if (take > length) take = length;
    MemCopy(context->buffer + used, p, take);
    p += take;
    length -= take;
    if (used + take < kSha256BlockSize) return;
    Sha256Compress(context->state, context->buffer, 1);
  }
  size_t whole = length / kSha256BlockSize;
  if (whole) Sha256Compress(context->state, p, whole);
  p += whole * kSha256BlockSize;
  MemCopy(context->buffer, p, length % kSha256BlockSize);
}

void Sha256Final(uint8_t* digest, Sha256Context* context) {
  if (!context) return;
  if (digest) {
    uint32_t used = context->countLow % kSha256BlockSize;
    uint64_t bits = ((uint64_t(context->countHigh) << 32) | context->countLow) << 3;
    context->buffer[used++] = 0x80;
    if (used > kSha256BlockSize - 8) {
      MemZero(context->buffer + used, kSha256BlockSize - used);
      Sha256Compress(context->state, context->buffer, 1);
      used = 0;
    }
    MemZero(context->buffer + used, kSha256BlockSize - 8 - used);
    StoreBe32(context->buffer + 56, static_cast<uint32_t>(bits >> 32));
    StoreBe32(context->buffer + 60, static_cast<uint32_t>(bits));
    Sha256Compress(context->state, context->buffer, 1);
    for (int i = 0; i < 8; ++i) StoreBe32(digest + 4 * i, context->state[i]);
  }
  CryptoWipe(context, sizeof(*context));
}

uint8_t* Sha256(const void* data, size_t length, uint8_t* digest) {
  if (!digest) return nullptr;
  Sha256Context context;
  Sha256Init(&context);
  const uint8_t* p = static_cast<const uint8_t*>(data);
  // Whole blocks go straight to the compression function, in pieces an update can take.
  constexpr size_t kPiece = size_t(1) << 30;
  while (p && length > 0) {
    size_t take = length < kPiece ? length : kPiece;
    Sha256Update(&context, p, static_cast<uint32_t>(take));
    p += take;
    length -= take;
  }
  Sha256Final(digest, &context);
  return digest;
}
