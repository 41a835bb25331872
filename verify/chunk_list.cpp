#include "verify/chunk_list.h"

EFI_STATUS ChunkListParse(ByteSpan list, ChunkListInfo* info) {
  UINT32 magic = 0;
  if (!list.ReadLe32(0, &magic) || magic != kChunkListMagic) return EFI_UNSUPPORTED;
  UINT64 count = 0, table = 0, signature = 0;
  UINT8 additional = 0;
  if (!list.ReadU8(11, &additional) || !list.ReadLe64(12, &count) || !list.ReadLe64(20, &table) ||
      !list.ReadLe64(28, &signature)) {
    return EFI_VOLUME_CORRUPTED;
  }
  table &= 0xFFFFFFFFu;
  // The header must be covered by the signed bytes, so the table cannot overlap it.
  if (table < kChunkListHeaderSize || count > list.size() / kChunkEntrySize) return EFI_VOLUME_CORRUPTED;
  if (!list.Contains(table, count * kChunkEntrySize)) return EFI_VOLUME_CORRUPTED;
  info->chunk_count = count;
  info->table_offset = table;
  info->signed_size = table + count * kChunkEntrySize;
  info->signature_offset = signature;
  info->additional_signatures = additional;
  return EFI_SUCCESS;
}

void ChunkListEntry(ByteSpan list, const ChunkListInfo& info, UINT64 index, UINT32* size, const UINT8** digest) {
  UINT64 at = info.table_offset + index * kChunkEntrySize;
  *size = 0;
  list.ReadLe32(at, size);
  *digest = list.data() + at + 4;
}

UINT64 ChunkListTotalSize(ByteSpan list, const ChunkListInfo& info) {
  UINT64 total = 0;
  for (UINT64 i = 0; i < info.chunk_count; ++i) {
    UINT32 size = 0;
    list.ReadLe32(info.table_offset + i * kChunkEntrySize, &size);
    total += size;  // at most 2^32 entries of 2^32 bytes: no overflow
  }
  return total;
}

bool ChunkListSignature(ByteSpan list, const ChunkListInfo& info, UINTN number, ByteSpan* signature) {
  UINT64 offset = info.signature_offset + UINT64(number) * kChunkSignatureSize;
  if (offset < info.signature_offset) return false;
  return list.Slice(offset, kChunkSignatureSize, signature);
}
