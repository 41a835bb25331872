#include "fde/lodestore.h"

#include "crypto/wipe.h"
#include "lib/host_reset.h"
#include "memory/memory.h"

namespace {

LodestoreState gLodestore = {};

// The previous test firmware took its memory with it: forget the pointers.
void ResetLodestore() { gLodestore = {}; }
HEARTH_HOST_RESET(ResetLodestore);

}  // namespace

LodestoreState& Lodestore() { return gLodestore; }

bool PlistDictInteger(const PlistNode* dict, const char* key, INT64* value) {
  const PlistNode* node = PlistDictLookup(dict, key);
  if (!node || node->type != kPlistInteger) return false;
  *value = node->integer;
  return true;
}

const char* PlistDictString(const PlistNode* dict, const char* key) {
  const PlistNode* node = PlistDictLookup(dict, key);
  return node && node->type == kPlistString ? node->string : nullptr;
}

bool PlistDictData(const PlistNode* dict, const char* key, const UINT8** data, UINTN* length) {
  const PlistNode* node = PlistDictLookup(dict, key);
  if (!node || node->type != kPlistData || !node->data || node->dataLength == 0) return false;
  *data = node->data;
  *length = static_cast<UINTN>(node->dataLength);
  return true;
}

void LodestoreConfigFree(LodestoreConfig* config) {
  for (UINT32 i = 0; config->users && i < config->user_count; ++i) PoolFree(config->users[i].names);
  PoolFree(config->users);
  PoolFree(config->panel);
  if (config->root) PlistFree(config->root);
  *config = {};
}

void LodestoreWipeSecrets() {
  LodestoreState& s = gLodestore;
  if (s.volume_keys) PoolFreeSecret(s.volume_keys, sizeof(VolumeKeySlot) * s.volume_key_capacity);
  s.volume_keys = nullptr;
  s.volume_key_capacity = 0;
  s.volume_key_count = 0;
  if (s.unlock.passphrase) PoolFreeSecret(s.unlock.passphrase, s.unlock.passphrase_size);
  s.unlock.passphrase = nullptr;
  s.unlock.passphrase_size = 0;
  CryptoWipe(&s.unlock.kek, sizeof(s.unlock.kek));
  CryptoWipe(&s.kek, sizeof(s.kek));
  WipeSecrets();  // the boot notes' unlock key and key-store blob
}
