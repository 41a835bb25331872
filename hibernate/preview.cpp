#include "hibernate/preview.h"

#include "diag/log.h"
#include "diag/stage.h"
#include "draw/resample.h"
#include "efi/protocols/tarn_gamma.h"
#include "flags/boot_mode.h"
#include "graphics/boot_screen.h"
#include "graphics/display.h"
#include "graphics/display_connect.h"
#include "hw/hw.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "memory/owners.h"

namespace {

constexpr UINT32 kRepeatMask = 0xFF000000u;
constexpr UINT32 kCountMask = 0x00FFFFFFu;
constexpr UINT32 kPictureSideLimit = 16384;

struct Rgb {
  UINT8 r, g, b;
};

Rgb Channels(UINT32 word, UINT32 depth) {
  if (depth == 30) {
    return Rgb{UINT8((word >> 2) & 0xFF), UINT8((word >> 12) & 0xFF), UINT8((word >> 22) & 0xFF)};
  }
  return Rgb{UINT8(word >> 16), UINT8(word >> 8), UINT8(word)};
}

UINT8 Dimmed(const Rgb& c) {
  UINT32 luma = (c.r * 13933u + c.g * 46871u + c.b * 4732u) >> 16;
  return static_cast<UINT8>((luma * 19661u + 103u * 65536u) >> 16);
}

// Decodes one row's runs into `out` (width values, through put). False when a run leaves
// the picture or the row.
template <typename Put>
bool DecodeRow(ByteSpan preview, UINT32 offset, UINT32 width, Put put) {
  UINT32 x = 0;
  size_t at = offset;
  while (x < width) {
    UINT32 control = 0;
    if (!preview.ReadLe32(at, &control)) return false;
    at += 4;
    UINT32 count = control & kCountMask;
    if (count == 0 || count > width - x) return false;
    if (control & kRepeatMask) {
      UINT32 word = 0;
      if (!preview.ReadLe32(at, &word)) return false;
      at += 4;
      for (UINT32 i = 0; i < count; ++i) put(x++, word);
    } else {
      if (!preview.Contains(at, size_t(count) * 4)) return false;
      for (UINT32 i = 0; i < count; ++i, at += 4) put(x++, LoadLe32(preview.data() + at));
    }
  }
  return true;
}

// The 5 x 5 binomial blur of a grey picture; output (x, y) centred on source (x - 2, y - 2).
void Blur(const UINT8* grey, UINT32 width, UINT32 height, UINT8* pixels, UINT32 row_bytes, UINT16* rows) {
  static const UINT32 kWeights[5] = {1, 4, 6, 4, 1};
  auto clamp = [](INT64 v, UINT32 limit) { return UINT32(v < 0 ? 0 : (v >= INT64(limit) ? limit - 1 : v)); };
  // Vertical pass into rows (sums up to 16 x 255), then horizontal into the output.
  for (UINT32 y = 0; y < height; ++y) {
    for (UINT32 x = 0; x < width; ++x) {
      UINT32 sum = 0;
      for (int k = 0; k < 5; ++k) sum += kWeights[k] * grey[UINT64(clamp(INT64(y) - 4 + k, height)) * width + x];
      rows[UINT64(y) * width + x] = static_cast<UINT16>(sum);
    }
  }
  for (UINT32 y = 0; y < height; ++y) {
    UINT32* out = reinterpret_cast<UINT32*>(pixels + UINT64(y) * row_bytes);
    for (UINT32 x = 0; x < width; ++x) {
      UINT32 sum = 0;
      for (int k = 0; k < 5; ++k) sum += kWeights[k] * rows[UINT64(y) * width + clamp(INT64(x) - 4 + k, width)];
      UINT32 g = (sum + 128) >> 8;
      out[x] = g | g << 8 | g << 16;
    }
  }
}

void ResetGamma(TarnGammaProtocol* gamma) {
  if (gamma) gamma->SetGammaRamps(gamma, kTarnGammaChannelsSeparate, 0, nullptr, nullptr, nullptr);
}

// Decodes the picture straight into the frame buffer, or off-screen and resampled to the
// screen when its size differs.
EFI_STATUS DrawPicture(const FramebufferFacts& screen, ByteSpan preview, UINT32 index, bool keep_colours,
                       bool apply_tables, bool raise_tpl) {
  PreviewHeader h{};
  EFI_STATUS status = PreviewParseHeader(preview, &h);
  if (EFI_ERROR(status)) return status;
  if (screen.bits_per_pixel != 32) return EFI_UNSUPPORTED;
  if (h.width == screen.width && h.height == screen.height) {
    EFI_TPL old = raise_tpl ? gBS->RaiseTPL(TPL_HIGH_LEVEL) : 0;
    status = PreviewDecode(preview, index, keep_colours, apply_tables, reinterpret_cast<UINT8*>(screen.base),
                           screen.row_bytes);
    if (raise_tpl) gBS->RestoreTPL(old);
    return status;
  }
  PoolBuffer decoded, scaled;
  if (EFI_ERROR(decoded.Allocate(UINTN(h.width) * h.height * 4)) ||
      EFI_ERROR(scaled.Allocate(UINTN(screen.width) * screen.height * 4))) {
    return EFI_OUT_OF_RESOURCES;
  }
  status = PreviewDecode(preview, index, keep_colours, apply_tables, decoded.get<UINT8>(), h.width * 4);
  if (!EFI_ERROR(status)) {
    status = DUResamplePixelBuffer(scaled.get<UINT32>(), decoded.get<UINT32>(), DUSize{INT32(h.height), INT32(h.width)},
                                   DUSize{INT32(screen.height), INT32(screen.width)});
  }
  if (EFI_ERROR(status)) return status;
  EFI_TPL old = raise_tpl ? gBS->RaiseTPL(TPL_HIGH_LEVEL) : 0;
  UINTN row = (UINTN(screen.width) * 4) & ~UINTN(15);
  if (row > screen.row_bytes) row = screen.row_bytes & ~UINTN(15);
  for (UINT32 y = 0; y < screen.height; ++y) {
    MemCopy(reinterpret_cast<UINT8*>(screen.base) + UINT64(y) * screen.row_bytes,
            scaled.get<UINT32>() + UINT64(y) * screen.width, row);
  }
  if (raise_tpl) gBS->RestoreTPL(old);
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS PreviewParseHeader(ByteSpan preview, PreviewHeader* header) {
  PreviewHeader h{};
  if (!preview.ReadLe32(0, &h.count) || !preview.ReadLe32(4, &h.width) || !preview.ReadLe32(8, &h.height) ||
      !preview.ReadLe32(12, &h.depth)) {
    return EFI_VOLUME_CORRUPTED;
  }
  if (h.count == 0 || h.width == 0 || h.height == 0 || h.width > kPictureSideLimit || h.height > kPictureSideLimit ||
      (h.depth != 32 && h.depth != 30)) {
    return EFI_UNSUPPORTED;
  }
  UINT64 table = UINT64(h.count) * h.height * 4;
  if (h.count > 64 || !preview.Contains(kPreviewRowTableOffset, table + kPreviewLutBytes)) return EFI_VOLUME_CORRUPTED;
  *header = h;
  return EFI_SUCCESS;
}

EFI_STATUS PreviewDecode(ByteSpan preview, UINT32 index, bool keep_colours, bool apply_tables, UINT8* pixels,
                         UINT32 row_bytes) {
  PreviewHeader h{};
  EFI_STATUS status = PreviewParseHeader(preview, &h);
  if (EFI_ERROR(status)) return status;
  if (index >= h.count || row_bytes < h.width * 4) return EFI_INVALID_PARAMETER;
  const UINT8* lut = preview.data() + kPreviewRowTableOffset + UINT64(h.count) * h.height * 4;
  UINT8* grey = nullptr;
  if (!keep_colours) {
    grey = static_cast<UINT8*>(PoolAllocate(UINTN(h.width) * h.height));
    if (!grey) return EFI_OUT_OF_RESOURCES;
  }
  for (UINT32 y = 0; y < h.height && !EFI_ERROR(status); ++y) {
    UINT32 offset = LoadLe32(preview.data() + kPreviewRowTableOffset + (UINT64(index) * h.height + y) * 4);
    bool ok;
    if (keep_colours) {
      UINT32* row = reinterpret_cast<UINT32*>(pixels + UINT64(y) * row_bytes);
      ok = DecodeRow(preview, offset, h.width, [&](UINT32 x, UINT32 word) {
        Rgb c = Channels(word, h.depth);
        if (apply_tables) c = Rgb{lut[c.r], lut[256 + c.g], lut[512 + c.b]};
        row[x] = UINT32(c.b) | UINT32(c.g) << 8 | UINT32(c.r) << 16;
      });
    } else {
      UINT8* row = grey + UINT64(y) * h.width;
      ok = DecodeRow(preview, offset, h.width, [&](UINT32 x, UINT32 word) { row[x] = Dimmed(Channels(word, h.depth)); });
    }
    if (!ok) status = EFI_VOLUME_CORRUPTED;
  }
  if (!keep_colours) {
    if (!EFI_ERROR(status)) {
      auto* rows = static_cast<UINT16*>(PoolAllocate(UINTN(h.width) * h.height * 2));
      if (rows) {
        Blur(grey, h.width, h.height, pixels, row_bytes, rows);
        PoolFree(rows);
      } else {
        status = EFI_OUT_OF_RESOURCES;
      }
    }
    PoolFree(grey);
  }
  return status;
}

EFI_STATUS PreviewGammaRamps(ByteSpan preview, UINT16* ramps) {
  PreviewHeader h{};
  EFI_STATUS status = PreviewParseHeader(preview, &h);
  if (EFI_ERROR(status)) return status;
  const UINT8* lut = preview.data() + kPreviewRowTableOffset + UINT64(h.count) * h.height * 4;
  for (UINTN channel = 0; channel < 3; ++channel) {
    for (UINTN i = 0; i < kPreviewRampEntries; ++i) {
      ramps[channel * kPreviewRampEntries + i] = static_cast<UINT16>(lut[channel * 256 + i * 255 / 1023] * 257);
    }
  }
  return EFI_SUCCESS;
}

EFI_STATUS SplashPreview(ByteSpan preview, UINT32 index, UINT8* progress_save, bool keep_colours, bool graphics_open,
                         bool raise_tpl, PreviewTimings* timings) {
  if (!graphics_open) {
    UINT64 connect_started = HwReadTsc();
    ConnectGraphics(false, true);
    if (timings) timings->connect = HwReadTsc() - connect_started;
    StageMark("Start OpenBootGraphics");
    EFI_STATUS opened = OpenBootGraphics();
    StageMark("End OpenBootGraphics");
    if (EFI_ERROR(opened)) return opened;
  }
  UINT64 started = HwReadTsc();
  UINT32 saved_config = 0;
  GetFramebufferInfo(nullptr, &saved_config);
  FramebufferFacts screen = BootScreenFacts();
  if (!screen.base) return EFI_NOT_READY;
  StageMark("Start SplashPreview");
  TarnGammaProtocol* gamma = GammaProtocol();
  PoolBuffer ramps;
  EFI_STATUS status = EFI_SUCCESS;
  // A display whose saved configuration could not be restored shows no preview.
  if (preview.size() && static_cast<INT32>(saved_config) >= -1) {
    if (gamma && keep_colours) (void)ramps.Allocate(3 * kPreviewRampEntries * sizeof(UINT16));
    status = DrawPicture(screen, preview, index, keep_colours, ramps.get() == nullptr, raise_tpl);
    if (!EFI_ERROR(status) && ramps.get()) status = PreviewGammaRamps(preview, ramps.get<UINT16>());
    if (EFI_ERROR(status)) LogMessage(0x80000000u, "SplashPreview: preview refused (0x%lx)\n", status);
  } else if (preview.size()) {
    status = EFI_NOT_READY;
  }
  if (!EFI_ERROR(status)) {
    if (gamma && ramps.get()) {
      const UINT16* r = ramps.get<UINT16>();
      gamma->SetGammaRamps(gamma, kTarnGammaChannelsSeparate, kTarnGammaRampEntries, r, r + kPreviewRampEntries,
                           r + 2 * kPreviewRampEntries);
    } else {
      ResetGamma(gamma);
    }
  } else if (!keep_colours && !(BootModeFlags & kBootModeVerbose)) {
    // The normal boot screen instead of a picture that cannot be shown.
    LoadBackgroundColor();
    OpenBootGraphics();
    DrawBootGraphics(kBootScreenNormal);
    ResetGamma(gamma);
  }
  StageMark("End SplashPreview");
  if (progress_save) DrawProgressBar(screen, progress_save);
  if (timings) timings->preview = HwReadTsc() - started;
  return status;
}

FramebufferFacts BootScreenFacts() {
  GetFramebufferInfo(nullptr, nullptr);
  FramebufferFacts facts{};
  facts.base = gDisplay.framebuffer_base;
  facts.width = gDisplay.width;
  facts.height = gDisplay.height;
  facts.row_bytes = gDisplay.row_bytes;
  facts.bits_per_pixel = gDisplay.bits_per_pixel;
  if (!facts.width || !facts.height || !facts.row_bytes) facts.base = 0;
  return facts;
}
