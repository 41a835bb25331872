// The boot-info payload: 304 bytes the operating system leaves encrypted (XTS-AES, one data
// unit) in the "boot-info-payload" variable, guarded by a SHA-256 digest. Opened, it may
// carry the unlock key of the encrypted root and a blob for the kernel's key store.
#pragma once

#include "fde/unlock_key.h"
#include "efi/types.h"
#include "lib/span.h"

constexpr UINTN kBootInfoPayloadSize = 304;

// Layout of the opened payload.
constexpr UINTN kBootInfoDigestOffset = 0;          // SHA-256 over the three ranges below
constexpr UINTN kBootInfoHashedHeadOffset = 32;     // 8 bytes, hashed, not interpreted
constexpr UINTN kBootInfoHashedHeadSize = 8;
constexpr UINTN kBootInfoUnlockRecordOffset = 40;   // u32 "present", then the key record's bytes
constexpr UINTN kBootInfoUnlockKeyOffset = 44;      // the 16 bytes delivered
constexpr UINTN kBootInfoKeyStoreRecordOffset = 172;  // u32 length n, then 128 bytes
constexpr UINTN kBootInfoKeyStoreBytesOffset = 176;
constexpr UINTN kBootInfoRecordSize = sizeof(KeyRecord);  // 132

// The payload key: a key record of length 16 whose first 32 bytes are the data key and the
// tweak key. The tweak key also serves as the tweak value.
constexpr UINT32 kBootInfoKeyRecordLength = 16;
constexpr UINTN kBootInfoKeyBytes = 32;

// Decrypts the 304-byte payload into plain with key and checks its digest. The cipher
// context is wiped before returning. Statuses: EFI_SUCCESS; EFI_BAD_BUFFER_SIZE when the
// payload is not 304 bytes; EFI_INVALID_PARAMETER for a missing buffer or a key record that
// is not of length 16; EFI_DEVICE_ERROR when the cipher refuses; EFI_CRC_ERROR when the
// digest differs. plain is zero-filled on every failure.
[[nodiscard]] EFI_STATUS BootInfoOpen(ByteSpan payload, const KeyRecord& key, UINT8 plain[kBootInfoPayloadSize]);

// What an opened payload offers. Spans point into the payload.
struct BootInfoContents {
  ByteSpan unlock_key;      // 16 bytes, or empty
  ByteSpan key_store_blob;  // 1..128 bytes, or empty
  bool key_store_too_long;  // the blob's length field exceeded its record (blob dropped)
};

// Reads an opened payload. EFI_BAD_BUFFER_SIZE when it is not 304 bytes.
[[nodiscard]] EFI_STATUS BootInfoRead(ByteSpan plain, BootInfoContents* contents);

// Hands what an opened payload offers to the delivered-secret records. Returns true when
// anything was delivered.
bool BootInfoDeliver(ByteSpan plain);
