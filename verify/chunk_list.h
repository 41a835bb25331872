// Chunk lists: a signed table of the SHA-256 digests of consecutive pieces of a disk image.
//
// Layout (little-endian):
//   0   u32  magic "CNKL" (0x4C4B4E43)
//   4   7    not interpreted
//   11  u8   number of additional signatures
//   12  u64  chunk count
//   20  u64  offset of the chunk table (low 32 bits used)
//   28  u64  offset of the first signature
//   table: per chunk a u32 size and the 32-byte SHA-256 of the chunk
//   signatures: 256 bytes each, over the SHA-256 of bytes 0 to the end of the chunk table
#pragma once

#include "efi/types.h"
#include "lib/span.h"

constexpr UINT32 kChunkListMagic = 0x4C4B4E43;
constexpr UINTN kChunkListHeaderSize = 36;
constexpr UINTN kChunkEntrySize = 36;
constexpr UINTN kChunkDigestSize = 32;
constexpr UINTN kChunkSignatureSize = 256;

struct ChunkListInfo {
  UINT64 chunk_count;
  UINT64 table_offset;
  UINT64 signed_size;       // bytes 0 to the end of the chunk table
  UINT64 signature_offset;
  UINT8 additional_signatures;
};

// Checks the magic (EFI_UNSUPPORTED without it) and that the header lies inside the list, the
// table starts after the header and ends inside the list (EFI_VOLUME_CORRUPTED otherwise).
// Signatures are not checked here: they may lie outside the list and are then simply absent.
[[nodiscard]] EFI_STATUS ChunkListParse(ByteSpan list, ChunkListInfo* info);

// Size and expected digest of chunk index (index < info.chunk_count, list already parsed).
void ChunkListEntry(ByteSpan list, const ChunkListInfo& info, UINT64 index, UINT32* size, const UINT8** digest);

// Sum of the chunk sizes.
UINT64 ChunkListTotalSize(ByteSpan list, const ChunkListInfo& info);

// The 256 bytes of signature number (0 = the first); false when it lies outside the list.
bool ChunkListSignature(ByteSpan list, const ChunkListInfo& info, UINTN number, ByteSpan* signature);
