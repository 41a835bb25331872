#include "verify/chunk_extents.h"

#include "memory/memory.h"
#include "lib/mem.h"

bool ExtentListCoversImage(const ImageExtentList* image) {
  if (!image) return false;
  UINT64 covered = 0;
  for (UINT64 i = 0; i < image->ExtentCount && covered < image->TotalSize; ++i) {
    const ImageExtent& e = image->Extents[i];
    if (e.Length > ~UINT64(0) - e.Address) return false;
    covered += e.Length;
    if (covered < e.Length) return false;
  }
  return covered >= image->TotalSize;
}

EFI_STATUS ExtentListGather(const ImageExtentList* image, UINT64 offset, UINT64 size, void* out) {
  if (!image || (size && !out)) return EFI_INVALID_PARAMETER;
  if (offset > image->TotalSize || size > image->TotalSize - offset) return EFI_INVALID_PARAMETER;
  UINT8* dest = static_cast<UINT8*>(out);
  UINT64 start = 0;  // image offset of extent i
  for (UINT64 i = 0; i < image->ExtentCount && size > 0; ++i) {
    const ImageExtent& e = image->Extents[i];
    UINT64 end = start + e.Length;
    if (end < start || e.Length > ~UINT64(0) - e.Address) return EFI_INVALID_PARAMETER;
    if (offset < end) {
      UINT64 within = offset - start;
      UINT64 take = e.Length - within < size ? e.Length - within : size;
      MemCopy(dest, reinterpret_cast<const UINT8*>(static_cast<UINTN>(e.Address)) + within, static_cast<UINTN>(take));
      dest += take;
      offset += take;
      size -= take;
    }
    start = end;
  }
  return size == 0 ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
}

EFI_STATUS ExtentListDescribe(const void* data, UINT64 size, UINT64 max_extent, ImageExtentList** list) {
  if (!list || max_extent == 0 || (size && !data)) return EFI_INVALID_PARAMETER;
  UINT64 count = size / max_extent + (size % max_extent != 0);
  UINTN bytes = offsetof(ImageExtentList, Extents) + static_cast<UINTN>(count) * sizeof(ImageExtent);
  auto* out = static_cast<ImageExtentList*>(PoolAllocateZero(bytes));
  if (!out) return EFI_OUT_OF_RESOURCES;
  out->ExtentCount = count;
  out->TotalSize = size;
  UINT64 address = reinterpret_cast<UINTN>(data);
  for (UINT64 i = 0; i < count; ++i) {
    UINT64 length = size - i * max_extent < max_extent ? size - i * max_extent : max_extent;
    out->Extents[i] = ImageExtent{address + i * max_extent, length};
  }
  *list = out;
  return EFI_SUCCESS;
}
