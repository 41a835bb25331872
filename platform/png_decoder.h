// PNG decoding for the image-codec stand-in: Debian's stb_image (PNG only), built without
// stdio, assertions or thread-local state, its memory taken from the firmware's pool.
#pragma once

#include "efi/efi.h"

// Pictures larger than this on either side are refused.
constexpr UINT32 kPngMaxSide = 8192;

// True for data that starts with the PNG signature and whose header stb_image reads.
bool PngInfo(const void* data, UINTN size, UINT32* width, UINT32* height);

// Decodes to width x height pixels in a new pool block (the caller frees it with FreePool):
// blue, green, red and a transparency byte (0 opaque, 255 fully transparent).
EFI_STATUS PngDecode(const void* data, UINTN size, void** pixels, UINTN* pixels_size, UINT32* width,
                     UINT32* height);
