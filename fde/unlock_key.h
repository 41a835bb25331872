// Secrets the operating system hands to the next boot through the boot notes: the unlock
// key that spares the password prompt, and a blob for the kernel's key store. They live in
// two fixed records until the encrypted-root unlock has used them and WipeSecrets has run.
#pragma once

#include "efi/types.h"

constexpr UINTN kKeyRecordMaxBytes = 128;

// A key: its length and up to 128 bytes.
struct KeyRecord {
  UINT32 length;
  UINT8 bytes[kKeyRecordMaxBytes];
};
static_assert(sizeof(KeyRecord) == 132);

// The delivered unlock key is always this long.
constexpr UINT32 kDeliveredUnlockKeySize = 16;

// The unlock key delivered by the boot notes; length 0 when none was delivered.
const KeyRecord& DeliveredUnlockKey();
// The key-store blob delivered by the boot notes; length 0 when none was delivered.
const KeyRecord& DeliveredKeyStoreBlob();

// Keep a copy of a delivered secret. EFI_INVALID_PARAMETER for a null source, an empty one
// or one longer than a record holds (the record is left as it was).
[[nodiscard]] EFI_STATUS DeliverUnlockKey(const UINT8* key, UINT32 length);
[[nodiscard]] EFI_STATUS DeliverKeyStoreBlob(const UINT8* blob, UINT32 length);

// Zero-fills both delivered records (all 132 bytes of each). Called once the unlock result
// has been handed to the kernel; safe to call any number of times.
void WipeSecrets();

// The last word on delivered secrets, called just before the exit to the kernel and by the
// failure path: whatever no later stage claimed (and wiped itself) is zeroed here, so no
// key reaches the kernel or the firmware in loader memory.
void WipeUnclaimedSecrets();
