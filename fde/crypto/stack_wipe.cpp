#include "fde/crypto/stack_wipe.h"

#include "lib/mem.h"

// Not inlined, so the array lies where the caller's callees had their frames.
__attribute__((noinline)) void CryptoWipeStack() {
  uint8_t area[kCryptoStackWipeBytes];
  SecureZero(area, sizeof(area));
}
