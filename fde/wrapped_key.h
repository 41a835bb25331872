// The wrapped structures of the key file: a KEK wrapped under a passphrase-derived key, a key
// wrapped under a KEK (volume keys, the revert user's KEK) and the key check record that
// tells a right unwrap from a wrong one.
#pragma once

#include "efi/efi.h"
#include "fde/unlock_key.h"
#include "lib/span.h"

// Key check record: two u32 not read, u32 hash count n, expected digest, values A and B.
constexpr UINTN kKeyCheckRecordSize = 108;
constexpr UINTN kKeyCheckCountOffset = 8;
constexpr UINTN kKeyCheckDigestOffset = 12;
constexpr UINTN kKeyCheckValueAOffset = 44;
constexpr UINTN kKeyCheckValueBOffset = 76;
// More rounds than any key file uses; a record asking for more is refused rather than
// keeping the booter busy for minutes.
constexpr UINT32 kKeyCheckMaxHashCount = 1u << 20;

// "PassphraseWrappedKEKStruct".
constexpr UINTN kPassphraseWrapPrfOffset = 0;
constexpr UINTN kPassphraseWrapSaltLengthOffset = 4;
constexpr UINTN kPassphraseWrapSaltOffset = 8;
constexpr UINTN kPassphraseWrapMaxSalt = 16;
constexpr UINTN kPassphraseWrapDerivedLengthOffset = 24;
constexpr UINTN kPassphraseWrapWrappedLengthOffset = 28;
constexpr UINTN kPassphraseWrapWrappedOffset = 32;
constexpr UINTN kPassphraseWrapMaxWrapped = 40;
constexpr UINTN kPassphraseWrapIterationsOffset = 168;
constexpr UINTN kPassphraseWrapCheckOffset = 176;
constexpr UINTN kPassphraseWrapSize = kPassphraseWrapCheckOffset + kKeyCheckRecordSize;  // 284
constexpr UINT32 kPassphraseDerivedKeyLength = 16;

// "KEKWrappedVolumeKeyStruct" and "KeyWrappedKEKStruct".
constexpr UINTN kKeyWrapKindOffset = 0;
constexpr UINTN kKeyWrapWrappedLengthOffset = 4;
constexpr UINTN kKeyWrapWrappedOffset = 8;
constexpr UINTN kKeyWrapCheckOffset = 144;
constexpr UINTN kKeyWrapMaxWrapped = kKeyWrapCheckOffset - kKeyWrapWrappedOffset;  // 136
constexpr UINTN kKeyWrapSize = kKeyWrapCheckOffset + kKeyCheckRecordSize;          // 252

struct PassphraseWrappedKek {
  UINT32 prf;          // PBKDF2 pseudo-random-function selector
  ByteSpan salt;       // 1..16 bytes
  UINT32 derived_length;
  ByteSpan wrapped;    // 16..40 bytes, a multiple of 8
  UINT32 iterations;
  ByteSpan check;      // the key check record
};

struct KeyWrappedKey {
  UINT32 key_kind;
  ByteSpan wrapped;    // 16..40 bytes, a multiple of 8
  ByteSpan check;
};

// Reads the structures. EFI_VOLUME_CORRUPTED when data is too short or a length field does
// not fit its field or the unwrap's limits (salt 1..16, derived length 16, wrapped 16..40 in
// steps of 8, iterations >= 1).
EFI_STATUS PassphraseWrappedKekParse(ByteSpan data, PassphraseWrappedKek* out);
EFI_STATUS KeyWrappedKeyParse(ByteSpan data, KeyWrappedKey* out);

// True when key[0, length) passes the check record (exactly 108 bytes): SHA-256 over
// [A, 0x00, key, B[0..30]], then n - 1 more times over the digest, equals the expected one.
// Records with n of 0 or above kKeyCheckMaxHashCount fail.
bool KeyCheckPasses(ByteSpan record, const UINT8* key, UINTN length);

// Unwraps wrapped with the 16-byte kek (the default initial value) and checks the result.
// EFI_SECURITY_VIOLATION when the unwrap or the check fails; out is wiped then.
EFI_STATUS UnwrapAndCheck(const UINT8* kek, ByteSpan wrapped, ByteSpan check, KeyRecord* out);
