#include "fde/volume_header.h"

#include "crypto/crc32.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

constexpr UINT32 kCrcSeed = 0xFFFFFFFF;
constexpr UINTN kChecksummedOffset = 8;

bool ChecksumMatches(ByteSpan header, UINT16 kind) {
  if (kind == kVolumeChecksumNone) return true;
  if (kind != kVolumeChecksumCrc32c) return false;
  UINT32 stored = 0, seed = 0;
  header.ReadLe32(kVolumeHeaderChecksumOffset, &stored);
  header.ReadLe32(kVolumeHeaderSeedOffset, &seed);
  return seed == kCrcSeed && stored == VolumeHeaderCrc(header);
}

bool KeyLengthValid(UINT16 length) { return length == 16 || length == 24 || length == 32; }

}  // namespace

UINT32 VolumeHeaderCrc(ByteSpan header) {
  UINT32 crc = kCrcSeed;
  if (header.size() >= kVolumeHeaderSize) {
    Crc32cUpdate(&crc, header.data() + kChecksummedOffset, kVolumeHeaderSize - kChecksummedOffset);
  }
  return crc;
}

EFI_STATUS VolumeHeaderParse(ByteSpan header, VolumeHeaderKey* key) {
  if (!key) return EFI_INVALID_PARAMETER;
  CryptoWipe(key, sizeof(*key));
  if (header.size() < kVolumeHeaderSize) return EFI_VOLUME_CORRUPTED;
  UINT16 block_type = 0, signature = 0, checksum_kind = 0, key_length = 0, key_kind = 0;
  header.ReadLe16(kVolumeHeaderBlockTypeOffset, &block_type);
  header.ReadLe16(kVolumeHeaderSignatureOffset, &signature);
  header.ReadLe16(kVolumeHeaderChecksumKindOffset, &checksum_kind);
  header.ReadLe16(kVolumeHeaderKeyLengthOffset, &key_length);
  header.ReadLe16(kVolumeHeaderKeyKindOffset, &key_kind);
  if (block_type != kVolumeHeaderBlockType || signature != kVolumeHeaderSignature) return EFI_VOLUME_CORRUPTED;
  if (!ChecksumMatches(header, checksum_kind)) return EFI_VOLUME_CORRUPTED;
  key->key_kind = key_kind;
  if (key_kind != kVolumeKeyKindXts) return EFI_SUCCESS;
  if (!KeyLengthValid(key_length)) {
    key->key_kind = 0;
    return EFI_VOLUME_CORRUPTED;
  }
  key->key_length = key_length;
  MemCopy(key->key, header.data() + kVolumeHeaderKeyOffset, key_length);
  return EFI_SUCCESS;
}
