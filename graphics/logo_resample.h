// The one call through which a custom logo is resampled: the drawing utilities' filtered
// resampler, with the filter they are set to.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/graphics_output.h"

// Resamples a source x source_height picture into destination (width x height pixels).
EFI_STATUS ResampleLogoPixels(const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* source, UINT32 source_width, UINT32 source_height,
                              EFI_GRAPHICS_OUTPUT_BLT_PIXEL* destination, UINT32 width, UINT32 height);
