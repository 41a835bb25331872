// A chunk list from disk and an image described by extents: the parser, the list queries and
// the gathering of every chunk's bytes across extents.
//
// Input: u8 extent count (mod 8, plus 1), u16 list length, eight u16 extent lengths, u32 total
// size, then the chunk list, then the image bytes the extents point into.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "verify/chunk_extents.h"
#include "verify/chunk_list.h"
#include "lib/mem.h"

namespace {

constexpr size_t kHeader = 1 + 2 + 8 * 2 + 4;
constexpr size_t kMaxExtents = 8;

struct Extents {
  ImageExtentList header;
  ImageExtent more[kMaxExtents - 1];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kHeader) return 0;
  size_t extent_count = data[0] % kMaxExtents + 1;
  size_t list_size = LoadLe16(data + 1);
  if (list_size > size - kHeader) list_size = size - kHeader;
  ByteSpan list(data + kHeader, list_size);
  const uint8_t* image = data + kHeader + list_size;
  size_t image_size = size - kHeader - list_size;

  Extents extents = {};
  ImageExtentList* described = &extents.header;
  size_t used = 0;
  for (size_t i = 0; i < extent_count; ++i) {
    size_t length = LoadLe16(data + 3 + 2 * i);
    if (length > image_size - used) length = image_size - used;
    described->Extents[i] = ImageExtent{reinterpret_cast<uintptr_t>(image + used), length};
    used += length;
  }
  described->ExtentCount = extent_count;
  described->TotalSize = LoadLe32(data + 19);
  bool covered = ExtentListCoversImage(described);

  ChunkListInfo info;
  if (EFI_ERROR(ChunkListParse(list, &info))) return 0;
  UINT64 total = ChunkListTotalSize(list, info);
  ByteSpan signature;
  for (UINTN i = 0; i <= info.additional_signatures && ChunkListSignature(list, info, i, &signature); ++i) {
  }
  // What the service checks before it builds a job: then every chunk must be readable.
  bool usable = covered && total == described->TotalSize;
  UINT64 offset = 0;
  std::vector<uint8_t> chunk;
  for (UINT64 i = 0; i < info.chunk_count; ++i) {
    UINT32 chunk_size = 0;
    const UINT8* digest = nullptr;  // inside the list by the parser's checks
    ChunkListEntry(list, info, i, &chunk_size, &digest);
    if (chunk_size > image_size) {
      if (usable) abort();  // a usable list never names more bytes than the image holds
      offset += chunk_size;
      continue;
    }
    chunk.resize(chunk_size);
    EFI_STATUS status = ExtentListGather(described, offset, chunk_size, chunk.data());
    if (usable && EFI_ERROR(status)) abort();
    offset += chunk_size;
  }
  return 0;
}
