// PBKDF2 (RFC 8018) with HMAC as the pseudo-random function.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The only kind of pseudo-random function: HMAC.
constexpr uint32_t kPbkdf2KindHmac = 2;

// Pseudo-random-function selectors, by hash: 1 SHA-1, 2 SHA-224, 3 SHA-256, 4 SHA-384,
// 5 SHA-512. Only kPbkdf2PrfHmacSha256 has an implementation.
constexpr uint32_t kPbkdf2PrfHmacSha256 = 3;

// Output size of a selector's function (0 for an unknown selector).
uint32_t Pbkdf2PrfOutputSize(uint32_t prfSelector);
// The HMAC hash identifier of a selector, or -1 for an unknown selector.
int Pbkdf2PrfHashId(uint32_t prfSelector);

// Derives derivedLength bytes. Requires kind 2, iterations >= 1, derivedLength >= 1,
// saltLength >= 1 and an implemented selector; returns 0, or -1 on a refused argument. The
// derived key buffer is zeroed first; working state is wiped before returning.
int Pbkdf2(uint32_t kind, const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
           uint32_t prfSelector, uint32_t iterations, uint8_t* derivedKey, size_t derivedLength);
