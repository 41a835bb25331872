#include "crypto/wipe.h"

#include "lib/mem.h"

void CryptoWipe(void* memory, size_t size) { SecureZero(memory, size); }

// Not inlined, so the array lies where the caller's callees had their frames.
__attribute__((noinline)) void CryptoWipeStack() {
  uint64_t area[kCryptoStackWipeBytes / 8];
  CryptoWipe(area, sizeof(area));
}
