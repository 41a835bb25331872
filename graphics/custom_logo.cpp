#include "graphics/custom_logo.h"

#include "config/background_color.h"
#include "config/boot_options.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "files/boot_file.h"
#include "graphics/display.h"
#include "graphics/logo_resample.h"
#include "lib/host_reset.h"
#include "memory/memory.h"
#include "memory/owners.h"

namespace {

struct LogoVolume {
  EFI_LOAD_FILE_PROTOCOL* load_file = nullptr;
  EFI_FILE_PROTOCOL* root = nullptr;
};
LogoVolume gLogoVolume;

void ResetLogoVolume() { gLogoVolume = LogoVolume(); }
HEARTH_HOST_RESET(ResetLogoVolume);

constexpr UINTN kMaxLogoPath = 512;
constexpr UINT32 kMaxLogoSide = 16384;

// The configured path as UCS-2 with "\" separators.
EFI_STATUS LogoPath(UINT32 mode, CHAR16* path, UINTN count) {
  const char* text = nullptr;
  EFI_STATUS status = BootConfigString(mode == 2 ? "Boot Fail Logo" : "Boot Logo", &text);
  if (EFI_ERROR(status)) return status;
  if (!text || !*text) return EFI_NOT_FOUND;
  UINTN i = 0;
  for (; text[i]; ++i) {
    if (i + 1 >= count) return EFI_BAD_BUFFER_SIZE;
    char c = text[i] == '/' ? '\\' : text[i];
    path[i] = static_cast<UINT8>(c);
  }
  path[i] = 0;
  return EFI_SUCCESS;
}

// Tries every codec in turn; the first that recognises, sizes and decodes the data wins.
EFI_STATUS DecodeWithCodecs(const void* data, UINTN size, Picture* picture) {
  HandleBuffer handles;
  EFI_STATUS status = handles.Locate(kTarnImageConversionProtocolGuid);
  if (EFI_ERROR(status)) return status;
  status = EFI_UNSUPPORTED;
  for (UINTN i = 0; i < handles.count(); ++i) {
    void* interface = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kTarnImageConversionProtocolGuid, &interface)) || !interface) {
      continue;
    }
    auto* codec = static_cast<TarnImageConversionProtocol*>(interface);
    if (EFI_ERROR(codec->RecognizeImageData(codec, data, size))) continue;
    UINT32 width = 0, height = 0;
    status = codec->GetImageDimensions(codec, data, size, &width, &height);
    if (EFI_ERROR(status)) continue;
    if (width == 0 || height == 0 || width > kMaxLogoSide || height > kMaxLogoSide) {
      status = EFI_UNSUPPORTED;
      continue;
    }
    void* pixels = nullptr;
    UINTN pixels_size = 0;
    status = codec->DecodeImageData(codec, data, size, &pixels, &pixels_size);
    if (EFI_ERROR(status)) continue;
    if (pixels && EFI_ERROR(status = PoolTrack(pixels))) continue;  // untracked, it is freed already
    // A codec that hands back fewer bytes than its own dimensions promise is not trusted.
    if (!pixels || pixels_size < UINTN(width) * height * sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL)) {
      PoolFree(pixels);
      status = EFI_LOAD_ERROR;
      continue;
    }
    *picture = Picture{static_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(pixels), width, height};
    break;
  }
  return status;
}

void ScaleForScreen(Picture* picture) {
  INT64 scale = kDefaultBootLogoScale;
  INT64 configured = 0;
  if (BootConfigInteger("Boot Logo Scale", &configured) == EFI_SUCCESS) scale = configured;
  UINT32 width = 0, height = 0;
  if (!CustomLogoScaledSize(gDisplay.width, gDisplay.height, picture->width, picture->height, scale, &width,
                            &height)) {
    return;
  }
  auto* scaled = static_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(
      PoolAllocate(UINTN(width) * height * sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL)));
  if (!scaled) return;
  if (EFI_ERROR(ResampleLogoPixels(picture->pixels, picture->width, picture->height, scaled, width, height))) {
    PoolFree(scaled);
    return;
  }
  PoolFree(picture->pixels);
  *picture = Picture{scaled, width, height};
}

}  // namespace

void SetBootLogoVolume(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root) {
  gLogoVolume.load_file = load_file;
  gLogoVolume.root = root;
}

bool CustomLogoScaledSize(UINT32 screen_width, UINT32 screen_height, UINT32 picture_width, UINT32 picture_height,
                          INT64 scale, UINT32* width, UINT32* height) {
  constexpr UINT64 kOne = 1u << 16;
  if (screen_height > 1079 || scale <= 0 || screen_width == 0 || screen_height == 0) return false;
  if (picture_width == 0 || picture_height == 0) return false;
  // The screen's width against a 16:9 screen of the same height.
  UINT64 wide_width = UINT64(screen_height) * 16 / 9;
  if (wide_width == 0) return false;
  UINT64 aspect = screen_width == wide_width ? kOne : (UINT64(screen_width) << 16) / wide_width;
  UINT64 target = (UINT64(screen_width) << 16) * UINT64(scale) / 1000;
  if (target > (UINT64(picture_width) << 16)) return false;  // never enlarged
  UINT64 aspect_width = aspect * picture_width;              // 16.16
  if (aspect_width == 0) return false;
  UINT64 k = (target << 16) / aspect_width;
  UINT64 new_width = ((k * aspect) >> 16) * picture_width >> 16;
  UINT64 new_height = k * picture_height >> 16;
  if (new_width == 0 || new_height == 0 || new_width > kMaxLogoSide || new_height > kMaxLogoSide) return false;
  *width = static_cast<UINT32>(new_width);
  *height = static_cast<UINT32>(new_height);
  return true;
}

void LayCodecPixelsOverBackground(EFI_GRAPHICS_OUTPUT_BLT_PIXEL* pixels, UINTN count, UINT32 background) {
  const UINT32 bg[3] = {background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF};
  for (UINTN i = 0; i < count; ++i) {
    EFI_GRAPHICS_OUTPUT_BLT_PIXEL& p = pixels[i];
    UINT32 t = p.Reserved;
    p.Reserved = 0;  // the background is in it now: opaque for the resampler
    if (t == 0) continue;
    p.Blue = static_cast<UINT8>((bg[0] * t + p.Blue * (255 - t)) / 255);
    p.Green = static_cast<UINT8>((bg[1] * t + p.Green * (255 - t)) / 255);
    p.Red = static_cast<UINT8>((bg[2] * t + p.Red * (255 - t)) / 255);
  }
}

EFI_STATUS LoadCustomLogo(UINT32 mode, Picture* picture) {
  *picture = Picture{};
  CHAR16 path[kMaxLogoPath];
  EFI_STATUS status = LogoPath(mode, path, kMaxLogoPath);
  if (EFI_ERROR(status)) return status;
  if (!gLogoVolume.root && !gLogoVolume.load_file) return EFI_NOT_READY;
  UINT64 size = 0;
  void* data = nullptr;
  status = LoadWholeFile(gLogoVolume.load_file, gLogoVolume.root, path, nullptr, &size, &data);
  if (EFI_ERROR(status)) return status;
  if (!data) return EFI_LOAD_ERROR;
  status = DecodeWithCodecs(data, static_cast<UINTN>(size), picture);
  PoolFree(data);
  if (EFI_ERROR(status)) return status;
  LayCodecPixelsOverBackground(picture->pixels, UINTN(picture->width) * picture->height, BackgroundColor());
  ScaleForScreen(picture);
  return EFI_SUCCESS;
}
