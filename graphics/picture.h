// Decoded pictures of the boot screen: the embedded artwork by name, decoded from its
// compressed index and opacity planes and laid over the background colour.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/graphics_output.h"
#include "graphics/embedded_picture.h"

// Pixels in pool memory, width x height, rows of exactly width pixels.
struct Picture {
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL* pixels;
  UINT32 width;
  UINT32 height;
};

void PictureFree(Picture* picture);

// The list of embedded pictures in use (the compiled-in one unless a test replaced it).
const EmbeddedPicture* EmbeddedPictureList();
#ifdef HEARTH_HOST
void SetEmbeddedPictureListForTest(const EmbeddedPicture* list);
#endif

// The record called name exactly; null when there is none.
const EmbeddedPicture* FindEmbeddedPicture(const char* name);

// base, then "Black" with a black background, then "2X" with HiDPI ("TarnLogoBlack2X").
// EFI_BUFFER_TOO_SMALL when it does not fit.
EFI_STATUS EmbeddedPictureName(const char* base, bool black, bool hidpi, char* name, UINTN size);

// Decodes a record: blue, green, red from the colour table and the fourth byte the opacity
// (255 without an opacity plane). EFI_INVALID_PARAMETER without a record or output,
// EFI_LOAD_ERROR when a plane does not decompress to exactly width x height bytes or an
// index lies outside the colour table, EFI_OUT_OF_RESOURCES without memory.
EFI_STATUS DecodeEmbeddedPicture(const EmbeddedPicture* record, Picture* picture);

// Blends decoded embedded pixels over the background (low three bytes blue, green, red):
// channel = (background x (255 - opacity) + channel x opacity) / 255, rounded; the fourth
// byte becomes 255.
void LayOverBackground(Picture* picture, UINT32 background);

// The embedded picture base with the "Black"/"2X" choice of this boot, decoded and laid over
// the background colour.
EFI_STATUS LoadEmbeddedPicture(const char* base, Picture* picture);
