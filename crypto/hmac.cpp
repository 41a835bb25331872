#include "crypto/hmac.h"

#include "crypto/sha256_internal.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

void EFIAPI HashInit(void* state) { Sha256Init(static_cast<Sha256Context*>(state)); }
void EFIAPI HashUpdate(void* state, const void* data, uint32_t length) {
  Sha256Update(static_cast<Sha256Context*>(state), data, length);
}
void EFIAPI HashFinal(uint8_t* digest, void* state) { Sha256Final(digest, static_cast<Sha256Context*>(state)); }

// The key as one block: hashed when longer than a block, zero-padded otherwise.
void KeyBlock(const uint8_t* key, size_t keyLength, uint8_t block[kSha256BlockSize]) {
  MemZero(block, kSha256BlockSize);
  if (keyLength > kSha256BlockSize) {
    Sha256(key, keyLength, block);
  } else {
    MemCopy(block, key, keyLength);
  }
}

void XorBlock(uint8_t* block, uint8_t value) {
  for (size_t i = 0; i < kSha256BlockSize; ++i) block[i] ^= value;
}

void UpdateLong(HmacContext* context, const uint8_t* p, size_t length) {
  constexpr size_t kPiece = size_t(1) << 30;
  while (length > 0) {
    size_t take = length < kPiece ? length : kPiece;
    context->update(&context->hash, p, static_cast<uint32_t>(take));
    p += take;
    length -= take;
  }
}

}  // namespace

int HmacInit(HmacContext* context, uint32_t hashId, const uint8_t* key, size_t keyLength) {
  if (!context || (!key && keyLength) || hashId != kHmacSha256) return -1;
  context->hashSize = kSha256DigestSize;
  context->blockSize = kSha256BlockSize;
  context->init = HashInit;
  context->update = HashUpdate;
  context->final = HashFinal;
  uint8_t block[kSha256BlockSize];
  KeyBlock(key, keyLength, block);
  XorBlock(block, 0x36);
  context->init(&context->hash);
  context->update(&context->hash, block, kSha256BlockSize);
  XorBlock(block, 0x36 ^ 0x5C);
  MemCopy(context->outerPad, block, kSha256BlockSize);
  CryptoWipe(block, sizeof(block));
  return 0;
}

int HmacUpdate(HmacContext* context, const void* data, size_t length) {
  if (!context || (!data && length)) return -1;
  UpdateLong(context, static_cast<const uint8_t*>(data), length);
  return 0;
}

int HmacFinal(HmacContext* context, uint8_t* mac) {
  if (!context || !mac) return -1;
  uint8_t inner[kSha256DigestSize];
  context->final(inner, &context->hash);
  context->init(&context->hash);
  context->update(&context->hash, context->outerPad, kSha256BlockSize);
  context->update(&context->hash, inner, kSha256DigestSize);
  context->final(mac, &context->hash);
  CryptoWipe(inner, sizeof(inner));
  CryptoWipe(context, sizeof(*context));
  return 0;
}

int Hmac(uint32_t hashId, const uint8_t* key, size_t keyLength, const void* data, size_t dataLength, uint8_t* mac) {
  if (!mac || (!data && dataLength)) return -1;
  HmacContext context;
  if (HmacInit(&context, hashId, key, keyLength) != 0) return -1;
  HmacUpdate(&context, data, dataLength);
  return HmacFinal(&context, mac);
}

int HmacSha256PadStates(const uint8_t* key, size_t keyLength, uint32_t inner[8], uint32_t outer[8]) {
  if ((!key && keyLength) || !inner || !outer) return -1;
  uint8_t block[kSha256BlockSize];
  KeyBlock(key, keyLength, block);
  XorBlock(block, 0x36);
  MemCopy(inner, kSha256InitialState, 32);
  Sha256Compress(inner, block, 1);
  XorBlock(block, 0x36 ^ 0x5C);
  MemCopy(outer, kSha256InitialState, 32);
  Sha256Compress(outer, block, 1);
  CryptoWipe(block, sizeof(block));
  return 0;
}
