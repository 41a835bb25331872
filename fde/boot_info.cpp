#include "fde/boot_info.h"

#include "diag/log.h"
#include "crypto/sha256.h"
#include "crypto/wipe.h"
#include "crypto/xts.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

// The digest covers everything after itself, in three ranges.
void PayloadDigest(const UINT8* plain, UINT8 digest[kSha256DigestSize]) {
  Sha256Context context;
  Sha256Init(&context);
  Sha256Update(&context, plain + kBootInfoHashedHeadOffset, kBootInfoHashedHeadSize);
  Sha256Update(&context, plain + kBootInfoUnlockRecordOffset, kBootInfoRecordSize);
  Sha256Update(&context, plain + kBootInfoKeyStoreRecordOffset, kBootInfoRecordSize);
  Sha256Final(digest, &context);
}

bool DigestsEqual(const UINT8* a, const UINT8* b) {
  UINT8 difference = 0;  // no early exit on the first differing byte
  for (UINTN i = 0; i < kSha256DigestSize; ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

EFI_STATUS Decrypt(ByteSpan payload, const KeyRecord& key, UINT8* plain) {
  // Key schedules of both keys: pool memory, so the wipe before release can be checked.
  XtsContext* xts = static_cast<XtsContext*>(PoolAllocateZero(sizeof(XtsContext)));
  if (!xts) return EFI_OUT_OF_RESOURCES;
  const UINT8* data_key = key.bytes;
  const UINT8* tweak_key = key.bytes + 16;
  EFI_STATUS status = EFI_SUCCESS;
  if (XtsSetKey(0, data_key, 16, tweak_key, xts) != kXtsOk ||
      XtsDecrypt(payload.data(), kBootInfoPayloadSize, plain, tweak_key, xts) != kXtsOk) {
    status = EFI_DEVICE_ERROR;
  }
  XtsClear(xts);
  PoolFreeSecret(xts, sizeof(XtsContext));
  CryptoWipeStack();  // round keys left in callees' frames
  return status;
}

}  // namespace

EFI_STATUS BootInfoOpen(ByteSpan payload, const KeyRecord& key, UINT8 plain[kBootInfoPayloadSize]) {
  if (!plain || !payload.data()) return EFI_INVALID_PARAMETER;
  MemZero(plain, kBootInfoPayloadSize);
  if (payload.size() != kBootInfoPayloadSize) return EFI_BAD_BUFFER_SIZE;
  if (key.length != kBootInfoKeyRecordLength) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = Decrypt(payload, key, plain);
  if (!EFI_ERROR(status)) {
    UINT8 digest[kSha256DigestSize];
    PayloadDigest(plain, digest);
    if (!DigestsEqual(digest, plain + kBootInfoDigestOffset)) status = EFI_CRC_ERROR;
    CryptoWipe(digest, sizeof(digest));
  }
  if (EFI_ERROR(status)) CryptoWipe(plain, kBootInfoPayloadSize);
  return status;
}

EFI_STATUS BootInfoRead(ByteSpan plain, BootInfoContents* contents) {
  if (!contents) return EFI_INVALID_PARAMETER;
  *contents = {};
  if (plain.size() != kBootInfoPayloadSize) return EFI_BAD_BUFFER_SIZE;
  UINT32 present = 0;
  UINT32 blob_length = 0;
  plain.ReadLe32(kBootInfoUnlockRecordOffset, &present);
  plain.ReadLe32(kBootInfoKeyStoreRecordOffset, &blob_length);
  if (present != 0) plain.Slice(kBootInfoUnlockKeyOffset, kDeliveredUnlockKeySize, &contents->unlock_key);
  // The length comes from the payload: a blob longer than its record is not taken at all.
  if (blob_length > kKeyRecordMaxBytes) {
    contents->key_store_too_long = true;
  } else if (blob_length != 0) {
    plain.Slice(kBootInfoKeyStoreBytesOffset, blob_length, &contents->key_store_blob);
  }
  return EFI_SUCCESS;
}

bool BootInfoDeliver(ByteSpan plain) {
  BootInfoContents contents;
  if (EFI_ERROR(BootInfoRead(plain, &contents))) return false;
  bool delivered = false;
  if (!contents.unlock_key.empty()) {
    delivered |= !EFI_ERROR(DeliverUnlockKey(contents.unlock_key.data(), kDeliveredUnlockKeySize));
    LogMessage(kLogCategoryStage, "Boot notes: unlock key delivered\n");
  }
  if (contents.key_store_too_long) {
    LogMessage(kLogCategoryError, "Boot notes: key-store blob longer than its record, dropped\n");
  }
  if (!contents.key_store_blob.empty()) {
    UINT32 length = static_cast<UINT32>(contents.key_store_blob.size());
    delivered |= !EFI_ERROR(DeliverKeyStoreBlob(contents.key_store_blob.data(), length));
    LogMessage(kLogCategoryStage, "Boot notes: key-store blob delivered (%d bytes)\n", length);
  }
  return delivered;
}
