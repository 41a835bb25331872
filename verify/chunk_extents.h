// Reading byte ranges of an image described by an extent list.
#pragma once

#include "efi/protocols/tarn_image_verification.h"

// True when the extents together hold at least TotalSize bytes (no sum overflows and no
// extent wraps around the address space), so every range below TotalSize can be gathered.
bool ExtentListCoversImage(const ImageExtentList* image);

// Copies [offset, offset + size) of the image into out. EFI_INVALID_PARAMETER when the
// range passes TotalSize or the extents end before it.
[[nodiscard]] EFI_STATUS ExtentListGather(const ImageExtentList* image, UINT64 offset, UINT64 size, void* out);

// Builds the list for a buffer in memory, in extents of at most max_extent bytes. The list is
// a pool block the caller frees; EFI_OUT_OF_RESOURCES when it cannot be had.
[[nodiscard]] EFI_STATUS ExtentListDescribe(const void* data, UINT64 size, UINT64 max_extent, ImageExtentList** list);
