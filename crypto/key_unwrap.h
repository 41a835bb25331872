// AES key unwrap (RFC 3394) with a 128-bit key-encryption key.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The standard's default initial value A6A6A6A6A6A6A6A6.
extern const uint8_t kAesKeyWrapDefaultIv[8];

// Unwraps wrappedLength bytes (a multiple of 8, 16 to 40) with a 16-byte kek. *inOutLength
// gives the room at out and must be at least wrappedLength - 8. Succeeds (0, *inOutLength set
// to wrappedLength - 8) only when the integrity value comes out equal to initialValue (8 bytes,
// big-endian); otherwise returns -1 and leaves out untouched.
int AesKeyUnwrap(const uint8_t* kek, size_t kekLength, const uint8_t* initialValue, const uint8_t* wrapped,
                 size_t wrappedLength, uint8_t* out, size_t* inOutLength);
