// The hibernation preview: the picture the operating system saved of its screen, decoded
// into the frame buffer in full colour or dimmed to a blurred grey (resampled when its size
// differs from the screen's), and the 19-block progress bar under it.
#pragma once

#include "efi/efi.h"
#include "lib/span.h"

// What the loader knows about the frame buffer.
struct FramebufferFacts {
  UINT64 base;  // 0: no frame buffer
  UINT32 width;
  UINT32 height;
  UINT32 row_bytes;
  UINT32 bits_per_pixel;
};

struct PreviewHeader {
  UINT32 count;
  UINT32 width;
  UINT32 height;
  UINT32 depth;  // 32 or 30
};

constexpr UINTN kPreviewRowTableOffset = 84;
constexpr UINTN kPreviewLutBytes = 768;

// Checks the header, the row table and the lookup tables against the picture's bytes.
EFI_STATUS PreviewParseHeader(ByteSpan preview, PreviewHeader* header);

// Decodes image `index` of the preview into pixels (32-bit, row_bytes apart, header.width x
// header.height). keep_colours false gives the dimmed grey picture; a full-colour picture goes
// through its lookup tables when apply_tables is set (otherwise the tables become the display's
// gamma ramps). Every run is checked against the picture and the row; EFI_VOLUME_CORRUPTED
// when one leaves them.
EFI_STATUS PreviewDecode(ByteSpan preview, UINT32 index, bool keep_colours, bool apply_tables, UINT8* pixels,
                         UINT32 row_bytes);

// The preview's three 256-entry lookup tables as 1024-entry gamma ramps (red, green, blue one
// after another): entry i = table[i x 255 / 1023] x 257.
constexpr UINTN kPreviewRampEntries = 1024;
EFI_STATUS PreviewGammaRamps(ByteSpan preview, UINT16* ramps);

struct PreviewTimings {
  UINT64 connect;  // time-stamp counter units
  UINT64 preview;
};

// Draws the preview (empty: only the progress bar) on the boot screen and the first state of
// the progress bar (when progress_save is given). Unless graphics_open, the display is
// connected and the boot graphics opened first. A full-colour picture hands its tables to the
// gamma protocol; a picture that cannot be drawn leaves the normal boot screen instead (unless
// keep_colours or a verbose boot). raise_tpl copies at the highest priority.
EFI_STATUS SplashPreview(ByteSpan preview, UINT32 index, UINT8* progress_save, bool keep_colours, bool graphics_open,
                         bool raise_tpl, PreviewTimings* timings);

// Progress bar: 19 blocks of 7 x 16 pixels, 10 pixels apart.
constexpr UINT32 kProgressBlocks = 19;
constexpr UINTN kProgressSaveBytesPerBlock = 38;
// Draws every block (block 0 lit, the others dark) and saves the grey levels under their
// edges into save (19 x 38 bytes). Nothing below 16 bits per pixel.
void DrawProgressBar(const FramebufferFacts& screen, UINT8* save);
// Redraws blocks first .. min(done, 18): below done as done, done as the current one.
void UpdateProgress(const FramebufferFacts& screen, const UINT8* save, UINT32 first, UINT32 done);

// The boot screen's frame-buffer facts (refreshed first); base 0 when there is none.
FramebufferFacts BootScreenFacts();
