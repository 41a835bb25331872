// Pictures from resource archives and from the firmware: PNG data decoded through the
// firmware's image codec into pixel buffers, the "@2x" variant (or the picture doubled) on
// HiDPI screens, and views made straight from archive pictures.
#pragma once

#include "draw/view.h"
#include "ui/archive.h"

// Decodes PNG data with the first image codec that recognises it (the accepting codec is
// remembered for the whole boot). pixels may be null to learn only the size. *out_pixels is
// a pool block of *out_byte_size bytes the caller frees. 0, or 1 on failure (logged).
UINT32 LWPixelBufferFromPNGData(const void* data, UINTN length, DUPixel** out_pixels, DUSize* out_size,
                                UINTN* out_byte_size);

// Every source pixel becomes a 2 x 2 block of *out (a pool block of twice the width and
// height). 0, or 1 for a missing buffer or when memory runs out.
UINT32 HiDPIScale2x(const DUPixel* source, DUSize source_size, DUPixel** out, DUSize* out_size, UINTN* out_byte_size);

// The picture name from archive: in HiDPI mode (drawing scale 2 or more) "NAME@2x.png" when
// the archive has it, else NAME doubled. 0; 1 when it cannot be found or decoded; other
// archive results as ArchiveGetData gives them.
UINT32 ArchiveCopyPNGImage(const Archive* archive, const char* name, DUPixel** out_pixels, DUSize* out_size,
                           UINTN* out_byte_size, BOOLEAN log_missing);

// A view of the picture's size at {0, 0} showing it; null on failure (logged).
DUView* ArchiveViewCreateWithOptions(const Archive* archive, const char* name);
// Shows the picture in view (same size only). 0, or 1 on failure (logged).
UINT32 ArchiveViewSwapWithImage(const Archive* archive, DUView* view, const char* name);

// The end mark of a view list for LWSetViewsToVisible.
#define kLWViewListEnd (reinterpret_cast<DUView*>(1))
// DUViewSetVisible on every view of a list that ends at kLWViewListEnd (null entries are
// skipped). Returns the last error, 0 when all succeeded.
EFI_STATUS LWSetViewsToVisible(DUView* const* views, BOOLEAN visible, const char* label);

// Decodes a picture read from the firmware; when scale is 2 or more and so is the drawing
// scale, it is resampled to the drawing scale times its size. 0, or 1 on failure.
UINT32 DecodeFirmwarePicture(const void* data, UINTN size, DUPixel** out_pixels, DUSize* out_size,
                             UINTN* out_byte_size, UINT32 scale);
