// Wiping secrets.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Zero-fills memory that held a secret; the stores cannot be dropped (SecureZero).
void CryptoWipe(void* memory, size_t size);

// Compilers leave temporaries of secret-handling code (round keys, chaining words) in stack
// slots that no source-level wipe can reach. Routines that derive keys call this before
// returning: it zero-fills the area their callees' frames used.
void CryptoWipeStack();

// Deeper than any call chain below the key routines, unoptimised host builds included.
constexpr size_t kCryptoStackWipeBytes = 8 * 1024;
