#include "draw/scaled_copies.h"

#include "draw/resample.h"
#include "memory/memory.h"

namespace {

// Integer part of factor x length, or -1 when it is not a usable side.
INT64 ScaledSide(DUFixed factor, INT32 length) {
  if (factor <= 0) return -1;
  INT64 side = (INT64(factor) * length) >> 16;
  return side > 0 && side <= 0x7FFFFFFF ? side : -1;
}

// Resamples source into a new buffer of size and gives it to copy in place of its old one.
EFI_STATUS Remake(DUScaledCopy* copy, const DUPixel* source, DUSize source_size, DUSize size) {
  auto* pixels = static_cast<DUPixel*>(PoolAllocate(UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel)));
  if (!pixels) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = DUResamplePixelBuffer(pixels, source, source_size, size);
  if (EFI_ERROR(status)) {
    PoolFree(pixels);
    return status;
  }
  PoolFree(copy->pixels);
  copy->pixels = pixels;
  copy->size = size;
  return EFI_SUCCESS;
}

}  // namespace

void DUScaledCopiesFree(DUScaledCopy** cache) {
  if (!cache) return;
  while (DUScaledCopy* copy = *cache) {
    *cache = copy->next;
    PoolFree(copy->pixels);
    PoolFree(copy);
  }
}

EFI_STATUS DUScaledCopyFind(const DUScaling& scaling, const DUPixel* source, DUSize source_size,
                            const DUScaledCopy** found, DUScaledCopy** temporary) {
  INT64 width = ScaledSide(scaling.horizontal, source_size.width);
  INT64 height = ScaledSide(scaling.vertical, source_size.height);
  if (width < 0 || height < 0) return EFI_INVALID_PARAMETER;
  DUSize size{INT32(height), INT32(width)};
  DUScaledCopy* copy = nullptr;
  if (scaling.cache) {
    for (copy = *scaling.cache; copy; copy = copy->next) {
      if (copy->identifier == scaling.identifier && copy->source_size.width == source_size.width &&
          copy->source_size.height == source_size.height) {
        break;
      }
    }
    if (copy && copy->horizontal == scaling.horizontal && copy->vertical == scaling.vertical) {
      *found = copy;
      return EFI_SUCCESS;
    }
  }
  bool fresh = !copy;
  if (fresh) {
    copy = static_cast<DUScaledCopy*>(PoolAllocateZero(sizeof(DUScaledCopy)));
    if (!copy) return EFI_OUT_OF_RESOURCES;
    copy->identifier = scaling.identifier;
    copy->source_size = source_size;
  }
  EFI_STATUS status = Remake(copy, source, source_size, size);
  if (EFI_ERROR(status)) {
    if (fresh) PoolFree(copy);
    return status;
  }
  copy->horizontal = scaling.horizontal;
  copy->vertical = scaling.vertical;
  DUScaledCopy** list = scaling.cache ? scaling.cache : temporary;
  if (fresh) {
    copy->next = *list;
    *list = copy;
  }
  *found = copy;
  return EFI_SUCCESS;
}
