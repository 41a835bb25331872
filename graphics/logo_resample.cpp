#include "graphics/logo_resample.h"

#include "draw/resample.h"

// The picture's pixels have the drawing utilities' layout (blue, green, red, transparency).
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL) == sizeof(DUPixel));

EFI_STATUS ResampleLogoPixels(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* source, UINT32 source_width, UINT32 source_height,
                              EFI_GRAPHICS_OUTPUT_BLT_PIXEL* destination, UINT32 width, UINT32 height) {
  if (!source || !destination || !source_width || !source_height || !width || !height) return EFI_INVALID_PARAMETER;
  if (source_width > 0x7FFFFFFF || source_height > 0x7FFFFFFF || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    return EFI_INVALID_PARAMETER;
  }
  return DUResamplePixelBuffer(reinterpret_cast<DUPixel*>(destination), reinterpret_cast<const DUPixel*>(source),
                               DUSize{INT32(source_height), INT32(source_width)}, DUSize{INT32(height), INT32(width)});
}
