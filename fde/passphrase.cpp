#include "fde/key_chain.h"

#include "config/text_convert.h"
#include "crypto/pbkdf2.h"
#include "crypto/wipe.h"
#include "fde/wrapped_key.h"
#include "lib/string.h"
#include "memory/memory.h"

namespace {

struct UserWrap {
  PassphraseWrappedKek wrap;
  const char* kek_ident;
};

EFI_STATUS ReadUserWrap(const LodestoreUser* user, UserWrap* out) {
  const UINT8* data = nullptr;
  UINTN length = 0;
  INT64 version = 0;
  if (!user || !PlistDictData(user->dict, "PassphraseWrappedKEKStruct", &data, &length)) return EFI_NOT_FOUND;
  if (!PlistDictInteger(user->dict, "WrapVersion", &version) || version != kLodestoreWrapVersion) {
    return EFI_UNSUPPORTED;
  }
  out->kek_ident = PlistDictString(user->dict, "KeyEncryptingKeyIdent");
  if (!out->kek_ident) return EFI_NOT_FOUND;
  return PassphraseWrappedKekParse(ByteSpan(data, length), &out->wrap);
}

// Derives the wrapping key and opens the KEK with it.
EFI_STATUS OpenKek(const PassphraseWrappedKek& wrap, const char* text, UINTN text_length, KeyRecord* kek) {
  UINT8 derived[kPassphraseDerivedKeyLength];
  EFI_STATUS status = EFI_SECURITY_VIOLATION;
  if (Pbkdf2(kPbkdf2KindHmac, reinterpret_cast<const UINT8*>(text), text_length, wrap.salt.data(), wrap.salt.size(),
             wrap.prf, wrap.iterations, derived, sizeof(derived)) == 0) {
    status = UnwrapAndCheck(derived, wrap.wrapped, wrap.check, kek);
  }
  CryptoWipe(derived, sizeof(derived));
  CryptoWipeStack();
  return status;
}

void KeepAttempt(const LodestoreUser* user, const UserWrap& wrap, char* text, UINTN size, KeyRecord* kek,
                 UnlockRecord* unlock) {
  if (unlock->passphrase) PoolFreeSecret(unlock->passphrase, unlock->passphrase_size);
  unlock->user_ident = user->ident;
  unlock->passphrase = text;
  unlock->passphrase_size = size;
  unlock->kek_ident = wrap.kek_ident;
  unlock->kek = *kek;
}

}  // namespace

BOOLEAN VerifyPassphrase(void* context, const LodestoreUser* user, const CHAR16* passphrase, UnlockRecord* unlock) {
  UserWrap wrap;
  if (!passphrase || !unlock || EFI_ERROR(ReadUserWrap(user, &wrap))) return FALSE;
  UINTN units = StrLen16(passphrase);
  UINTN size = Utf8SizeForUcs2(units);
  char* text = nullptr;
  if (size == 0 || EFI_ERROR(Ucs2ToUtf8Allocate(passphrase, units, &text))) return FALSE;
  KeyRecord kek;
  EFI_STATUS status = OpenKek(wrap.wrap, text, AsciiStrLen(text), &kek);
  if (EFI_ERROR(status)) {
    PoolFreeSecret(text, size);
  } else {
    KeepAttempt(user, wrap, text, size, &kek, unlock);
  }
  CryptoWipe(&kek, sizeof(kek));
  return !EFI_ERROR(status);
}
