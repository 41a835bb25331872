#include "fde/crypto/wipe.h"

#include "lib/mem.h"

void CryptoWipe(void* memory, size_t size) {
  uint8_t* p = static_cast<uint8_t*>(memory);
  if ((reinterpret_cast<uintptr_t>(p) & 7) == 0) {
    volatile uint64_t* words = reinterpret_cast<volatile uint64_t*>(p);
    for (size_t i = 0; i < size / 8; ++i) words[i] = 0;
    p += size & ~size_t(7);
    size &= 7;
  }
  SecureZero(p, size);
}

// Not inlined, so the array lies where the caller's callees had their frames.
__attribute__((noinline)) void CryptoWipeStack() {
  uint64_t area[kCryptoStackWipeBytes / 8];
  CryptoWipe(area, sizeof(area));
}
