// Separable filtered resampling of pixel buffers. Colour is weighted by each source pixel's
// opacity and divided by the summed opacity afterwards, so transparent pixels lend no colour
// to their neighbours and a uniform picture keeps its colour at any transparency; pixels
// that come out fully transparent keep no colour (0xFF000000).
#pragma once

#include "draw/geometry.h"

// Filter choices for DUSetResampleFilter.
enum DUResampleFilter : UINT32 {
  kDUFilterAutomatic = 0,      // Catmull-Rom when either side grows, else box
  kDUFilterNearest = 1,
  kDUFilterBox = 2,
  kDUFilterTriangle = 3,
  kDUFilterQuadratic = 4,      // bell
  kDUFilterCubicBSpline = 5,
  kDUFilterCatmullRom = 6,
  kDUFilterMitchell = 7,       // Mitchell-Netravali, B = C = 1/3
};
constexpr UINT32 kDUFilterCount = 8;

// Chooses the filter of every later resampling. EFI_INVALID_PARAMETER above 7.
EFI_STATUS DUSetResampleFilter(UINT32 filter);
UINT32 DUResampleFilterChoice();

// Resamples source (source_size, rows tightly packed) into destination, which holds
// destination_size.width x destination_size.height pixels. EFI_INVALID_PARAMETER for null
// buffers or a non-positive side, EFI_OUT_OF_RESOURCES when scratch memory runs out,
// EFI_ABORTED when a pixel's filter weights sum to zero.
EFI_STATUS DUResamplePixelBuffer(DUPixel* destination, const DUPixel* source, DUSize source_size,
                                 DUSize destination_size);
