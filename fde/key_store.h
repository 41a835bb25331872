// The unlock result for the kernel: the key-store block (a chain of records) and the
// "/chosen" idents of the user who unlocked.
#pragma once

#include "efi/efi.h"

// One record: a 48-byte header, then the payload, padded to a multiple of 8.
constexpr UINTN kKeyStoreHeaderSize = 48;
constexpr UINTN kKeyStoreSizeOffset = 0;           // u32: header + padded payload; 0 in the last record
constexpr UINTN kKeyStoreKindOffset = 4;           // u32
constexpr UINTN kKeyStoreSubKindOffset = 8;        // u32
constexpr UINTN kKeyStoreUuidOffset = 12;          // 16 bytes
constexpr UINTN kKeyStoreReservedOffset = 28;      // 16 zero bytes
constexpr UINTN kKeyStorePayloadLengthOffset = 44; // u32

constexpr UINT32 kKeyStoreKindKek = 1;         // sub-kind 2, UUID = the KEK ident
constexpr UINT32 kKeyStoreKindPassphrase = 2;  // sub-kind 0, UUID = the user's ident
constexpr UINT32 kKeyStoreKindPresetKey = 4;   // sub-kind 2, the boot notes' second key

// Writes the block into buffer (capacity bytes) and its size into *size; with a null buffer
// only the size. EFI_BUFFER_TOO_SMALL when it does not fit; EFI_NOT_FOUND when there is
// nothing to hand over.
EFI_STATUS BuildKeyStore(UINT8* buffer, UINTN capacity, UINTN* size);

// Publishes the unlock result: with publish_idents, "efilogin-unlock-ident" (and
// "efilogin-reset-ident") on "/chosen" when a user unlocked; then the key-store block. With
// buffer null only *size is set and nothing is wiped. With *buffer null the block is
// allocated in the kernel region (*buffer receives its physical address); otherwise it is
// written to *buffer, which holds *size bytes. Once the block is written every secret is
// wiped. EFI_NOT_FOUND: nothing to hand over; EFI_OUT_OF_RESOURCES; EFI_BUFFER_TOO_SMALL.
EFI_STATUS PublishUnlockResult(UINT8** buffer, UINTN* size, bool publish_idents);
