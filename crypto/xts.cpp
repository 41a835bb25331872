#include "crypto/xts.h"

#include "crypto/aes_internal.h"
#include "crypto/processor_features.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

struct XtsKeys {
  bool instructions;
  const uint8_t* roundKeys;  // data key, decryption
  int rounds;
};

void MultiplyByAlpha(uint8_t t[16]) {
  uint8_t carry = 0;
  for (int i = 0; i < 16; ++i) {
    uint8_t next = t[i] >> 7;
    t[i] = static_cast<uint8_t>((t[i] << 1) | carry);
    carry = next;
  }
  if (carry) t[0] ^= 0x87;
}

// P = D(C xor T) xor T for one block.
void DecryptBlock(const XtsKeys& keys, const uint8_t* in, uint8_t* out, const uint8_t t[16]) {
  uint8_t b[16];
  for (int i = 0; i < 16; ++i) b[i] = in[i] ^ t[i];
  if (keys.instructions) {
    AesNiDecryptBlock(b, b, keys.roundKeys, keys.rounds);
  } else {
    AesTableDecryptBlock(b, b, keys.roundKeys, keys.rounds);
  }
  for (int i = 0; i < 16; ++i) out[i] = b[i] ^ t[i];
  CryptoWipe(b, sizeof(b));
}

void DecryptBlocks(const XtsKeys& keys, const uint8_t* in, size_t count, uint8_t* out, uint8_t t[16]) {
  if (keys.instructions) {
    AesNiXtsDecryptBlocks(in, count, out, t, keys.roundKeys, keys.rounds);
    return;
  }
  for (; count > 0; --count, in += 16, out += 16) {
    DecryptBlock(keys, in, out, t);
    MultiplyByAlpha(t);
  }
}

// The last full block and the partial block after it: the full block is decrypted with the
// next tweak, its tail completes the partial ciphertext, and that block is decrypted with
// the current tweak.
void DecryptStolenTail(const XtsKeys& keys, const uint8_t* in, size_t partial, uint8_t* out, const uint8_t t[16]) {
  uint8_t next[16], last[16], joined[16];
  MemCopy(next, t, 16);
  MultiplyByAlpha(next);
  DecryptBlock(keys, in, last, next);
  MemCopy(joined, in + 16, partial);
  MemCopy(joined + partial, last + partial, 16 - partial);
  MemCopy(out + 16, last, partial);
  DecryptBlock(keys, joined, out, t);
  CryptoWipe(next, sizeof(next));
  CryptoWipe(last, sizeof(last));
  CryptoWipe(joined, sizeof(joined));
}

}  // namespace

int XtsSetKey(uint32_t mode, const uint8_t* dataKey, uint32_t keyLength, const uint8_t* tweakKey,
              XtsContext* context) {
  if (!dataKey || !tweakKey || !context) return kXtsMissingKey;
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) return kXtsBadKeyLength;
  if (AesDecryptKey(dataKey, keyLength, &context->dataKey.decrypt) != 0 ||
      AesEncryptKey(dataKey, keyLength, &context->dataKey.encrypt) != 0 ||
      AesDecryptKey(tweakKey, keyLength, &context->tweakKey.decrypt) != 0 ||
      AesEncryptKey(tweakKey, keyLength, &context->tweakKey.encrypt) != 0) {
    XtsClear(context);
    return kXtsScheduleFailed;
  }
  context->mode = mode;
  return kXtsOk;
}

int XtsDecrypt(const uint8_t* in, size_t length, uint8_t* out, const uint8_t* tweak, XtsContext* context) {
  if (!in || !out || !tweak || !context) return kXtsMissingArgument;
  if (length < 16) return kXtsUnitTooShort;
  XtsKeys keys;
  keys.instructions = CryptoUseAesInstructions(CryptoFeatures());
  keys.roundKeys = context->dataKey.decrypt.roundKeys;
  keys.rounds = AesScheduleRounds(&context->dataKey.decrypt);
  const AesSchedule* tweakSchedule = &context->tweakKey.encrypt;
  int tweakRounds = AesScheduleRounds(tweakSchedule);
  if (!keys.rounds || !tweakRounds) return kXtsCipherFailed;

  alignas(8) uint8_t t[16];
  if (keys.instructions) {
    AesNiEncryptBlock(tweak, t, tweakSchedule->roundKeys, tweakRounds);
  } else {
    AesTableEncryptBlock(tweak, t, tweakSchedule->roundKeys, tweakRounds);
  }
  size_t partial = length % 16;
  size_t whole = length / 16 - (partial ? 1 : 0);
  DecryptBlocks(keys, in, whole, out, t);
  if (partial) DecryptStolenTail(keys, in + 16 * whole, partial, out + 16 * whole, t);
  CryptoWipe(t, sizeof(t));
  return kXtsOk;
}

void XtsClear(XtsContext* context) {
  if (context) CryptoWipe(context, sizeof(*context));
}
