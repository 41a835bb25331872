// The 512-byte header of the encrypted physical volume: where the key that opens the key
// file lives. It is kept at the end of the partition and again at its start.
#pragma once

#include "efi/efi.h"
#include "lib/span.h"

constexpr UINTN kVolumeHeaderSize = 512;

// Field offsets (little-endian).
constexpr UINTN kVolumeHeaderChecksumOffset = 0;      // u32
constexpr UINTN kVolumeHeaderSeedOffset = 4;          // u32, FFFFFFFF with a CRC-32C
constexpr UINTN kVolumeHeaderVersionOffset = 8;       // u16, not tested
constexpr UINTN kVolumeHeaderBlockTypeOffset = 10;    // u16, 16
constexpr UINTN kVolumeHeaderSignatureOffset = 88;    // u16, "CS"
constexpr UINTN kVolumeHeaderChecksumKindOffset = 90; // u16
constexpr UINTN kVolumeHeaderKeyLengthOffset = 168;   // u16
constexpr UINTN kVolumeHeaderKeyKindOffset = 172;     // u16
constexpr UINTN kVolumeHeaderKeyOffset = 176;

constexpr UINT16 kVolumeHeaderBlockType = 16;
constexpr UINT16 kVolumeHeaderSignature = 0x5343;  // "CS"
constexpr UINT16 kVolumeChecksumNone = 0;
constexpr UINT16 kVolumeChecksumCrc32c = 1;
constexpr UINT16 kVolumeKeyKindXts = 2;  // the key file is XTS-AES encrypted under the key
constexpr UINTN kVolumeHeaderMaxKey = 32;

struct VolumeHeaderKey {
  UINT16 key_kind;
  UINT16 key_length;  // 16, 24 or 32 with key kind 2
  UINT8 key[kVolumeHeaderMaxKey];
};

// The CRC-32C the header carries: the register started at FFFFFFFF over bytes 8..511,
// without a final complement.
UINT32 VolumeHeaderCrc(ByteSpan header);

// Checks a header and takes its key. EFI_VOLUME_CORRUPTED for a short buffer, a wrong
// block type or signature, an unknown checksum kind, a checksum or seed that does not match,
// or (key kind 2) a key length other than 16, 24 or 32. key is zero-filled on failure.
EFI_STATUS VolumeHeaderParse(ByteSpan header, VolumeHeaderKey* key);
