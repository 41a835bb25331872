// Until the drawing utilities' resampler is in place: a bilinear filter in 16.16 fixed point,
// good enough for the shrinking a logo gets.
#include "graphics/logo_resample.h"

namespace {

UINT8 Lerp(UINT32 a, UINT32 b, UINT32 f) { return static_cast<UINT8>((a * (65536 - f) + b * f + 32768) >> 16); }

EFI_GRAPHICS_OUTPUT_BLT_PIXEL Mix(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL& a, const EFI_GRAPHICS_OUTPUT_BLT_PIXEL& b,
                                  UINT32 f) {
  return {Lerp(a.Blue, b.Blue, f), Lerp(a.Green, b.Green, f), Lerp(a.Red, b.Red, f), Lerp(a.Reserved, b.Reserved, f)};
}

}  // namespace

EFI_STATUS ResampleLogoPixels(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* source, UINT32 source_width, UINT32 source_height,
                              EFI_GRAPHICS_OUTPUT_BLT_PIXEL* destination, UINT32 width, UINT32 height) {
  if (!source || !destination || !source_width || !source_height || !width || !height) return EFI_INVALID_PARAMETER;
  UINT64 step_x = (UINT64(source_width) << 16) / width;
  UINT64 step_y = (UINT64(source_height) << 16) / height;
  for (UINT32 y = 0; y < height; ++y) {
    // Sample at pixel centres.
    INT64 sy = INT64(y) * step_y + INT64(step_y / 2) - 32768;
    if (sy < 0) sy = 0;
    UINT32 y0 = static_cast<UINT32>(sy >> 16);
    UINT32 fy = static_cast<UINT32>(sy & 0xFFFF);
    if (y0 >= source_height - 1) { y0 = source_height - 1; fy = 0; }
    UINT32 y1 = y0 + 1 < source_height ? y0 + 1 : y0;
    for (UINT32 x = 0; x < width; ++x) {
      INT64 sx = INT64(x) * step_x + INT64(step_x / 2) - 32768;
      if (sx < 0) sx = 0;
      UINT32 x0 = static_cast<UINT32>(sx >> 16);
      UINT32 fx = static_cast<UINT32>(sx & 0xFFFF);
      if (x0 >= source_width - 1) { x0 = source_width - 1; fx = 0; }
      UINT32 x1 = x0 + 1 < source_width ? x0 + 1 : x0;
      const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* r0 = source + UINTN(y0) * source_width;
      const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* r1 = source + UINTN(y1) * source_width;
      destination[UINTN(y) * width + x] = Mix(Mix(r0[x0], r0[x1], fx), Mix(r1[x0], r1[x1], fx), fy);
    }
  }
  return EFI_SUCCESS;
}
