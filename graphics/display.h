// The display as the boot screen sees it: the graphics device, the frame buffer and the
// preferences that choose the artwork. One instance per run.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/graphics_output.h"
#include "efi/protocols/uga_draw.h"
#include "handoff/boot_args.h"

struct DisplayState {
  UINT32 width;
  UINT32 height;
  UINT32 bits_per_pixel;  // 0: unusable
  UINT64 framebuffer_base;
  UINT64 framebuffer_size;
  UINT32 row_bytes;
  EFI_GRAPHICS_OUTPUT_PROTOCOL* gop;  // or, on older firmware, uga
  EFI_UGA_DRAW_PROTOCOL* uga;
  bool hidpi;                    // "UIScale" 2 or more: the 2X artwork and doubled offsets
  UINT32 saved_config_status;    // "gfx-saved-config-restore-status" as a 32-bit status
};

extern DisplayState gDisplay;

// Switches the console to graphics, finds the graphics device on the console handle and
// takes the screen size and bits per pixel. EFI_UNSUPPORTED for a block-transfer-only format.
EFI_STATUS OpenBootGraphics();

// Takes the frame-buffer facts (once a base is known they stay) and, when video is given,
// fills its base, row bytes, width, height and depth (not its display mode). saved_status,
// when given, receives the saved-config status.
void GetFramebufferInfo(BootVideo* video, UINT32* saved_status);

// "UIScale" of the vendor namespace: 2 or more selects HiDPI.
void ReadHiDPIPreference();
// "BlackMode": nonzero sets kBootModeBlackMode and deletes the variable.
void ReadBlackMode();

// The scale of fixed offsets and artwork: 2 with HiDPI, else 1.
inline UINT32 DisplayScale() { return gDisplay.hidpi ? 2 : 1; }

// Block transfers to the screen; they do nothing without a graphics device.
EFI_STATUS BlitImage(UINT32 x, UINT32 y, UINT32 width, UINT32 height, const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* pixels);
EFI_STATUS FillBackgroundRect(UINT32 x, UINT32 y, UINT32 width, UINT32 height);
