// Pictures compiled into hearth: the boot logo, the failure sign, the network-boot spinner
// and the panic dialog, each as compressed one-byte colour indices with an optional
// compressed opacity plane. The records are generated at build time from the artwork's
// vector sources and form one list, looked up by exact name.
#pragma once

#include "efi/types.h"

constexpr UINT32 kEmbeddedPictureLzss = 0;
constexpr UINT32 kEmbeddedPictureLzvn = 1;

struct EmbeddedPicture {
  const EmbeddedPicture* next;
  const char* name;
  UINT16 width;
  UINT16 height;
  UINT32 compression;        // kEmbeddedPictureLzss or kEmbeddedPictureLzvn
  const UINT8* pixels;       // width x height indices into colors, compressed
  UINT32 pixels_length;
  const UINT8* opacity;      // width x height opacities (255 opaque), compressed; may be null
  UINT32 opacity_length;
  const UINT8* colors;       // entries of three bytes: red, green, blue
  UINT32 colors_length;
};

// The head of the generated list.
extern const EmbeddedPicture* const gEmbeddedPictures;
