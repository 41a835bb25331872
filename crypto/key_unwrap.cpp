#include "crypto/key_unwrap.h"

#include "crypto/aes.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

const uint8_t kAesKeyWrapDefaultIv[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};

namespace {

constexpr size_t kMaxSemiblocks = 4;

// The working state of an unwrap; wiped when it goes out of scope.
struct UnwrapState {
  AesSchedule schedule;
  uint8_t block[16];  // A then R[i]
  uint8_t r[8 * kMaxSemiblocks];
  ~UnwrapState() { CryptoWipe(this, sizeof(*this)); }
};

bool ConstantTimeEqual(const uint8_t* a, const uint8_t* b, size_t n) {
  uint8_t difference = 0;
  for (size_t i = 0; i < n; ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

// Six passes of: B = AES-1(K, (A ^ t) | R[i]); A = MSB(B); R[i] = LSB(B).
bool Unwind(UnwrapState& s, size_t n) {
  static const uint8_t kZeroChain[16] = {};
  for (int j = 5; j >= 0; --j) {
    for (size_t i = n; i >= 1; --i) {
      uint64_t t = static_cast<uint64_t>(n) * static_cast<uint64_t>(j) + i;
      for (int k = 0; k < 8; ++k) s.block[7 - k] ^= static_cast<uint8_t>(t >> (8 * k));
      MemCopy(s.block + 8, s.r + 8 * (i - 1), 8);
      if (AesCbcDecrypt(s.block, kZeroChain, 1, s.block, &s.schedule) != 0) return false;
      MemCopy(s.r + 8 * (i - 1), s.block + 8, 8);
    }
  }
  return true;
}

bool Unwrap(const uint8_t* kek, const uint8_t* initialValue, const uint8_t* wrapped, size_t n, uint8_t* out) {
  UnwrapState s;
  if (AesDecryptKey(kek, 16, &s.schedule) != 0) return false;
  MemCopy(s.block, wrapped, 8);
  MemCopy(s.r, wrapped + 8, 8 * n);
  if (!Unwind(s, n) || !ConstantTimeEqual(s.block, initialValue, 8)) return false;
  MemCopy(out, s.r, 8 * n);
  return true;
}

}  // namespace

int AesKeyUnwrap(const uint8_t* kek, size_t kekLength, const uint8_t* initialValue, const uint8_t* wrapped,
                 size_t wrappedLength, uint8_t* out, size_t* inOutLength) {
  if (!kek || !initialValue || !wrapped || !out || !inOutLength) return -1;
  if (kekLength != 16 || wrappedLength % 8 != 0 || wrappedLength < 16) return -1;
  const size_t n = wrappedLength / 8 - 1;
  if (n > kMaxSemiblocks || *inOutLength < wrappedLength - 8) return -1;

  bool unwrapped = Unwrap(kek, initialValue, wrapped, n, out);
  CryptoWipeStack();
  if (!unwrapped) return -1;
  *inOutLength = 8 * n;
  return 0;
}
