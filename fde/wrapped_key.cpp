#include "fde/wrapped_key.h"

#include "crypto/key_unwrap.h"
#include "crypto/sha256.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

bool WrappedLengthValid(UINT32 length) { return length >= 16 && length <= 40 && length % 8 == 0; }

bool DigestsEqual(const UINT8* a, const UINT8* b) {
  UINT8 difference = 0;
  for (UINTN i = 0; i < kSha256DigestSize; ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

}  // namespace

EFI_STATUS PassphraseWrappedKekParse(ByteSpan data, PassphraseWrappedKek* out) {
  if (!out) return EFI_INVALID_PARAMETER;
  *out = {};
  UINT32 salt_length = 0, wrapped_length = 0;
  if (data.size() < kPassphraseWrapSize) return EFI_VOLUME_CORRUPTED;
  data.ReadLe32(kPassphraseWrapPrfOffset, &out->prf);
  data.ReadLe32(kPassphraseWrapSaltLengthOffset, &salt_length);
  data.ReadLe32(kPassphraseWrapDerivedLengthOffset, &out->derived_length);
  data.ReadLe32(kPassphraseWrapWrappedLengthOffset, &wrapped_length);
  data.ReadLe32(kPassphraseWrapIterationsOffset, &out->iterations);
  if (salt_length == 0 || salt_length > kPassphraseWrapMaxSalt || !WrappedLengthValid(wrapped_length) ||
      out->derived_length != kPassphraseDerivedKeyLength || out->iterations == 0) {
    *out = {};
    return EFI_VOLUME_CORRUPTED;
  }
  data.Slice(kPassphraseWrapSaltOffset, salt_length, &out->salt);
  data.Slice(kPassphraseWrapWrappedOffset, wrapped_length, &out->wrapped);
  data.Slice(kPassphraseWrapCheckOffset, kKeyCheckRecordSize, &out->check);
  return EFI_SUCCESS;
}

EFI_STATUS KeyWrappedKeyParse(ByteSpan data, KeyWrappedKey* out) {
  if (!out) return EFI_INVALID_PARAMETER;
  *out = {};
  UINT32 wrapped_length = 0;
  if (data.size() < kKeyWrapSize) return EFI_VOLUME_CORRUPTED;
  data.ReadLe32(kKeyWrapKindOffset, &out->key_kind);
  data.ReadLe32(kKeyWrapWrappedLengthOffset, &wrapped_length);
  if (!WrappedLengthValid(wrapped_length)) {
    *out = {};
    return EFI_VOLUME_CORRUPTED;
  }
  data.Slice(kKeyWrapWrappedOffset, wrapped_length, &out->wrapped);
  data.Slice(kKeyWrapCheckOffset, kKeyCheckRecordSize, &out->check);
  return EFI_SUCCESS;
}

bool KeyCheckPasses(ByteSpan record, const UINT8* key, UINTN length) {
  UINT32 count = 0;
  if (record.size() != kKeyCheckRecordSize || !key || length > kKeyRecordMaxBytes) return false;
  record.ReadLe32(kKeyCheckCountOffset, &count);
  if (count == 0 || count > kKeyCheckMaxHashCount) return false;
  const UINT8 separator = 0;
  UINT8 digest[kSha256DigestSize];
  Sha256Context context;
  Sha256Init(&context);
  Sha256Update(&context, record.data() + kKeyCheckValueAOffset, 32);
  Sha256Update(&context, &separator, 1);
  Sha256Update(&context, key, static_cast<uint32_t>(length));
  Sha256Update(&context, record.data() + kKeyCheckValueBOffset, 31);
  Sha256Final(digest, &context);
  for (UINT32 i = 1; i < count; ++i) Sha256(digest, sizeof(digest), digest);
  bool passes = DigestsEqual(digest, record.data() + kKeyCheckDigestOffset);
  CryptoWipe(digest, sizeof(digest));
  CryptoWipe(&context, sizeof(context));
  return passes;
}

EFI_STATUS UnwrapAndCheck(const UINT8* kek, ByteSpan wrapped, ByteSpan check, KeyRecord* out) {
  if (!kek || !out) return EFI_INVALID_PARAMETER;
  CryptoWipe(out, sizeof(*out));
  size_t length = sizeof(out->bytes);
  EFI_STATUS status = EFI_SECURITY_VIOLATION;
  if (AesKeyUnwrap(kek, 16, kAesKeyWrapDefaultIv, wrapped.data(), wrapped.size(), out->bytes, &length) == 0 &&
      KeyCheckPasses(check, out->bytes, length)) {
    out->length = static_cast<UINT32>(length);
    status = EFI_SUCCESS;
  } else {
    CryptoWipe(out, sizeof(*out));
  }
  CryptoWipeStack();
  return status;
}
