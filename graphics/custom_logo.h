// A boot logo of the user's own: a picture file named by the boot configuration, decoded by
// the firmware's image codec, laid over the background and shrunk on small screens.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"
#include "graphics/picture.h"

constexpr INT64 kDefaultBootLogoScale = 125;  // thousandths of the screen width

// The volume custom logos are read from (the boot volume, once it is open).
void SetBootLogoVolume(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root);

// "Boot Logo" (mode 1) or "Boot Fail Logo" (mode 2), decoded, laid over the background and
// scaled. Any failure returns its status with nothing left allocated.
EFI_STATUS LoadCustomLogo(UINT32 mode, Picture* picture);

// The scaling decision for a picture on a screen, with scale in thousandths (0: never).
// True with the new size when the picture is to be resampled; false keeps it as it is
// (screens 1080 or more pixels high, a target wider than the picture).
bool CustomLogoScaledSize(UINT32 screen_width, UINT32 screen_height, UINT32 picture_width, UINT32 picture_height,
                          INT64 scale, UINT32* width, UINT32* height);

// Lays decoded codec pixels (fourth byte: transparency, 0 opaque) over the background: each
// channel becomes (background x t + channel x (255 - t)) / 255; opaque pixels stay. Every
// pixel is opaque afterwards.
void LayCodecPixelsOverBackground(EFI_GRAPHICS_OUTPUT_BLT_PIXEL* pixels, UINTN count, UINT32 background);
