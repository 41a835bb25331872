// Fills and compositing of pixel buffers (rows tightly packed, width pixels each).
#pragma once

#include "draw/fixed_point.h"
#include "draw/geometry.h"

// A scaled copy of a picture, kept so that drawing a scaled view again does not resample.
struct DUScaledCopy {
  DUScaledCopy* next;
  UINT64 identifier;
  DUSize source_size;
  DUFixed horizontal;
  DUFixed vertical;
  DUSize size;
  DUPixel* pixels;
};

// Asks DUCompositePixelBuffers to draw the source at another size: width x horizontal and
// height x vertical (16.16, integer part taken). Copies are cached in *cache, keyed by
// identifier and source size; without a cache the copy lives for one call.
struct DUScaling {
  BOOLEAN enabled;
  DUFixed horizontal;
  DUFixed vertical;
  UINT64 identifier;
  DUScaledCopy** cache;
};

// Frees every cached copy and empties the list.
void DUScaledCopiesFree(DUScaledCopy** cache);

// Stores colour into every pixel of rect that lies inside the buffer (no blending).
// EFI_INVALID_PARAMETER for a null buffer.
EFI_STATUS DUFillBufferRect(DUPixel colour, DUPixel* buffer, DUSize buffer_size, const DURect& rect);

// Lays source over destination with its top-left pixel at point, inside the destination and
// the clip rectangle (null: no clip), each source pixel's transparency combined with the
// layer transparency. EFI_INVALID_PARAMETER for a null buffer or a scaling that leaves no
// pixels, EFI_NOT_FOUND when nothing overlaps, EFI_OUT_OF_RESOURCES when a scaled copy
// cannot be made.
EFI_STATUS DUCompositePixelBuffers(DUPixel* destination, DUSize destination_size, const DURect* clip,
                                   const DUPixel* source, DUSize source_size, DUPoint point, UINT8 transparency,
                                   const DUScaling* scaling);
