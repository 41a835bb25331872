#include "fde/key_chain.h"

#include "config/uuid_text.h"
#include "crypto/wipe.h"
#include "fde/wrapped_key.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"

namespace {

constexpr UINT8 kZeroKey[16] = {};

// Unwraps one volume-key dictionary into slot.
EFI_STATUS UnwrapOne(const PlistNode* entry, const KeyRecord& kek, VolumeKeySlot* slot) {
  const UINT8* data = nullptr;
  UINTN length = 0;
  INT64 version = 0;
  KeyWrappedKey wrap;
  if (!PlistDictData(entry, "KEKWrappedVolumeKeyStruct", &data, &length) ||
      !PlistDictInteger(entry, "WrapVersion", &version) || version != kLodestoreWrapVersion ||
      EFI_ERROR(KeyWrappedKeyParse(ByteSpan(data, length), &wrap))) {
    return EFI_NOT_FOUND;
  }
  KeyRecord key;
  EFI_STATUS status = UnwrapAndCheck(kek.bytes, wrap.wrapped, wrap.check, &key);
  if (!EFI_ERROR(status)) {
    slot->dict = entry;
    slot->key_kind = wrap.key_kind;
    slot->length = key.length;
    MemCopy(slot->bytes, key.bytes, key.length);
  }
  CryptoWipe(&key, sizeof(key));
  return status;
}

// A fresh key table with one slot per entry.
EFI_STATUS ResetKeyTable(UINTN entries) {
  LodestoreState& s = Lodestore();
  if (s.volume_keys) PoolFreeSecret(s.volume_keys, sizeof(VolumeKeySlot) * s.volume_key_capacity);
  s.volume_key_count = 0;
  s.volume_key_capacity = 0;
  s.volume_keys = static_cast<VolumeKeySlot*>(PoolAllocateZero(sizeof(VolumeKeySlot) * entries));
  if (!s.volume_keys) return EFI_OUT_OF_RESOURCES;
  s.volume_key_capacity = static_cast<UINT32>(entries);
  return EFI_SUCCESS;
}

bool KeyCanUnwrap(const KeyRecord& kek) { return kek.length == 16; }

}  // namespace

EFI_STATUS UnwrapVolumeKeys(const KeyRecord& kek, const char** kek_ident) {
  LodestoreState& s = Lodestore();
  const PlistNode* entries = s.config.wrapped_volume_keys;
  UINTN count = PlistArrayCount(entries);
  if (count == 0 || !KeyCanUnwrap(kek)) return EFI_NOT_FOUND;
  EFI_STATUS status = ResetKeyTable(count);
  if (EFI_ERROR(status)) return status;
  for (const PlistNode* entry = entries->child; entry; entry = entry->next) {
    if (entry->type != kPlistDict) continue;
    const char* ident = PlistDictString(entry, "KeyEncryptingKeyIdent");
    if (*kek_ident && (!ident || AsciiStrCmp(*kek_ident, ident) != 0)) continue;
    if (EFI_ERROR(UnwrapOne(entry, kek, &s.volume_keys[s.volume_key_count]))) continue;
    ++s.volume_key_count;
    if (!*kek_ident) *kek_ident = ident;
  }
  return s.volume_key_count ? EFI_SUCCESS : EFI_NOT_FOUND;
}

EFI_STATUS UnlockWithRevertUser() {
  LodestoreState& s = Lodestore();
  const PlistNode* user = s.config.revert_user;
  const PlistNode* props = PlistDictLookup(user, "ExternalKeyProps");
  INT64 revert_version = 0, wrap_version = 0;
  const UINT8* data = nullptr;
  UINTN length = 0;
  const char* ident = PlistDictString(user, "KeyEncryptingKeyIdent");
  KeyWrappedKey wrap;
  if (!props || props->type != kPlistDict || !PlistDictInteger(props, "revert-user-version", &revert_version) ||
      revert_version != 1 || !PlistDictData(user, "KeyWrappedKEKStruct", &data, &length) ||
      !PlistDictInteger(user, "WrapVersion", &wrap_version) || wrap_version != kLodestoreWrapVersion || !ident ||
      EFI_ERROR(KeyWrappedKeyParse(ByteSpan(data, length), &wrap))) {
    return EFI_NOT_FOUND;
  }
  EFI_STATUS status = UnwrapAndCheck(kZeroKey, wrap.wrapped, wrap.check, &s.kek);
  if (EFI_ERROR(status)) return status;
  s.kek_ident = ident;
  status = UnwrapVolumeKeys(s.kek, &s.kek_ident);
  if (EFI_ERROR(status)) {
    CryptoWipe(&s.kek, sizeof(s.kek));
    s.kek_ident = nullptr;
  }
  return status;
}

EFI_STATUS UnlockWithPresetKek() {
  LodestoreState& s = Lodestore();
  const KeyRecord& preset = DeliveredUnlockKey();
  if (preset.length == 0) return EFI_NOT_FOUND;
  s.kek = preset;
  s.kek_ident = nullptr;
  EFI_STATUS status = UnwrapVolumeKeys(s.kek, &s.kek_ident);
  if (EFI_ERROR(status)) {
    CryptoWipe(&s.kek, sizeof(s.kek));
    s.kek_ident = nullptr;
  }
  return status;
}

EFI_STATUS LookupLodestoreVolumeKey(const UINT8* volume_uuid, UINT8* key, UINTN max_length, UINTN* copied) {
  LodestoreState& s = Lodestore();
  if (copied) *copied = 0;
  if (!volume_uuid || !key) return EFI_INVALID_PARAMETER;
  for (UINT32 i = 0; i < s.volume_key_count; ++i) {
    const char* ident = PlistDictString(s.volume_keys[i].dict, "VolumeKeyIdent");
    UINT8 uuid[16];
    if (!ident || EFI_ERROR(UuidTextToBytes(ident, AsciiStrLen(ident), uuid)) || MemCompare(uuid, volume_uuid, 16)) {
      continue;
    }
    UINTN length = s.volume_keys[i].length < max_length ? s.volume_keys[i].length : max_length;
    MemCopy(key, s.volume_keys[i].bytes, length);
    if (copied) *copied = length;
    return EFI_SUCCESS;
  }
  return EFI_NO_MAPPING;
}
