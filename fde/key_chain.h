// The key chain of the encrypted root: a passphrase opens a user's KEK, the KEK opens the
// volume keys. Works on the process-wide state of fde/lodestore.h.
#pragma once

#include "fde/lodestore.h"

// One passphrase attempt for user: PBKDF2 over the passphrase's UTF-8 bytes, unwrap of the
// user's KEK, key check. On success the unlock record receives the user ident, the
// passphrase text, the KEK ident and the KEK (replacing an earlier attempt's); on failure
// nothing is kept. context is not read (the login window hands back what it was given).
BOOLEAN VerifyPassphrase(void* context, const LodestoreUser* user, const CHAR16* passphrase, UnlockRecord* unlock);

// Unwraps every "WrappedVolumeKeys" entry under kek into the state's key table, skipping
// entries of another KEK ident when *kek_ident is known and adopting the first unwrapped
// entry's ident when not. EFI_NOT_FOUND when no key unwrapped; EFI_OUT_OF_RESOURCES.
EFI_STATUS UnwrapVolumeKeys(const KeyRecord& kek, const char** kek_ident);

// The revert user's KEK (wrapped under an all-zero key) as the process KEK, then the volume
// keys. EFI_NOT_FOUND when there is no usable revert user; the unwrap's status otherwise.
EFI_STATUS UnlockWithRevertUser();

// The KEK delivered by the boot notes as the process KEK, when it opens a volume key.
// EFI_NOT_FOUND without a delivered key or when it opens none.
EFI_STATUS UnlockWithPresetKek();

// Copies min(key length, max_length) bytes of the unwrapped volume key whose "VolumeKeyIdent"
// is the 16-byte volume_uuid. EFI_NO_MAPPING when there are no keys or none matches;
// *copied receives the byte count.
EFI_STATUS LookupLodestoreVolumeKey(const UINT8* volume_uuid, UINT8* key, UINTN max_length, UINTN* copied);
