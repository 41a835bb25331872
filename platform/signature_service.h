// Stand-in for the maker's signature service: RSA-2048 PKCS#1 v1.5 signatures over SHA-256
// digests, checked against the public keys the settings file names ("signing-key" lines).
// Only public keys are handled; the digest is computed by the caller.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "efi/types.h"

constexpr size_t kRsa2048Bytes = 256;
constexpr size_t kSignatureServiceMaxKeys = 8;
constexpr size_t kSignatureKeyNameMax = 31;

// Adds a trusted key: an odd 2048-bit modulus, big-endian, 256 bytes (the exponent is 65537).
// EFI_INVALID_PARAMETER for another size, an even modulus or one without its top bit;
// EFI_OUT_OF_RESOURCES when the table is full. Names longer than 31 bytes are cut.
[[nodiscard]] EFI_STATUS SignatureServiceAddKey(const char* name, size_t name_length, const uint8_t* modulus,
                                                size_t size);

// Installs the protocol on a new handle when at least one key was added; EFI_NOT_STARTED
// (nothing installed) otherwise.
[[nodiscard]] EFI_STATUS InstallSignatureService();

// True when signature^65537 mod modulus is the PKCS#1 v1.5 encoding of the SHA-256 digest.
bool Rsa2048Sha256Verify(const uint8_t* modulus, const uint8_t* digest, const uint8_t* signature);
