// XTS-AES decryption (IEEE 1619) of single data units, with ciphertext stealing for a partial
// last block.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "crypto/aes.h"

// Both keys' schedules and the caller's mode word. Holds key material: wipe it with XtsClear.
struct XtsContext {
  AesContext dataKey;
  AesContext tweakKey;
  uint32_t mode;
};
static_assert(sizeof(XtsContext) == 980);

// Status values of XtsSetKey and XtsDecrypt.
constexpr int kXtsOk = 0;
constexpr int kXtsScheduleFailed = 1;   // XtsSetKey: a schedule could not be built
constexpr int kXtsMissingArgument = 1;  // XtsDecrypt
constexpr int kXtsCipherFailed = 3;     // XtsDecrypt: the context holds no valid schedule
constexpr int kXtsBadKeyLength = 3;     // XtsSetKey
constexpr int kXtsMissingKey = 16;      // XtsSetKey: data key, tweak key or context missing
constexpr int kXtsUnitTooShort = 16;    // XtsDecrypt: fewer than 16 bytes

// Builds both schedules of both keys (16, 24 or 32 bytes each) and stores mode.
int XtsSetKey(uint32_t mode, const uint8_t* dataKey, uint32_t keyLength, const uint8_t* tweakKey,
              XtsContext* context);

// Decrypts one data unit of length bytes (at least 16); tweak is the 16-byte tweak value
// before its encryption with the tweak key. in and out may be the same buffer.
int XtsDecrypt(const uint8_t* in, size_t length, uint8_t* out, const uint8_t* tweak, XtsContext* context);

// Zero-fills the context.
void XtsClear(XtsContext* context);
