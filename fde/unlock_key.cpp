#include "fde/unlock_key.h"

#include "crypto/wipe.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {

KeyRecord gUnlockKey = {};
KeyRecord gKeyStoreBlob = {};

void ResetDeliveredSecrets() { WipeSecrets(); }
HEARTH_HOST_RESET(ResetDeliveredSecrets);

EFI_STATUS Deliver(const UINT8* bytes, UINT32 length, KeyRecord* record) {
  if (!bytes || length == 0 || length > kKeyRecordMaxBytes) return EFI_INVALID_PARAMETER;
  CryptoWipe(record, sizeof(*record));
  MemCopy(record->bytes, bytes, length);
  record->length = length;
  return EFI_SUCCESS;
}

}  // namespace

const KeyRecord& DeliveredUnlockKey() { return gUnlockKey; }
const KeyRecord& DeliveredKeyStoreBlob() { return gKeyStoreBlob; }

EFI_STATUS DeliverUnlockKey(const UINT8* key, UINT32 length) { return Deliver(key, length, &gUnlockKey); }
EFI_STATUS DeliverKeyStoreBlob(const UINT8* blob, UINT32 length) { return Deliver(blob, length, &gKeyStoreBlob); }

void WipeSecrets() {
  CryptoWipe(&gUnlockKey, sizeof(gUnlockKey));
  CryptoWipe(&gKeyStoreBlob, sizeof(gKeyStoreBlob));
}

void WipeUnclaimedSecrets() { WipeSecrets(); }
