#include "ui/archive_image.h"

#include "draw/display.h"
#include "draw/resample.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "draw/log_error.h"

namespace {

// Pictures larger than this on either side are refused before anything is allocated.
constexpr UINT32 kMaxPictureSide = 16384;

TarnImageConversionProtocol* gImageCodec = nullptr;  // the codec that accepted last
void ResetImageCodec() { gImageCodec = nullptr; }
HEARTH_HOST_RESET(ResetImageCodec);

UINTN PixelBytes(DUSize size) { return UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel); }

TarnImageConversionProtocol* FindCodec(const void* data, UINTN length) {
  if (gImageCodec && !EFI_ERROR(gImageCodec->RecognizeImageData(gImageCodec, data, length))) return gImageCodec;
  gImageCodec = nullptr;
  HandleBuffer handles;
  EFI_STATUS status = handles.Locate(kTarnImageConversionProtocolGuid);
  if (EFI_ERROR(status)) {
    DULogError("LWPixelBufferFromPNGData", "LocateHandleBuffer returned %d", INT32(status & 0xFFFF));
    return nullptr;
  }
  if (handles.count() == 0) {
    DULogError("LWPixelBufferFromPNGData", "icProtocolCount == 0");
    return nullptr;
  }
  for (UINTN i = 0; i < handles.count(); ++i) {
    TarnImageConversionProtocol* codec = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kTarnImageConversionProtocolGuid, reinterpret_cast<VOID**>(&codec))) ||
        !codec) {
      DULogError("LWPixelBufferFromPNGData",
                 "HandleProtocol([...] , &gTarnImageConversionProtocolGuid, [...]) failed");
      break;
    }
    if (!EFI_ERROR(codec->RecognizeImageData(codec, data, length))) {
      gImageCodec = codec;
      break;
    }
  }
  if (!gImageCodec) DULogError("LWPixelBufferFromPNGData", "No supported protocol was found!");
  return gImageCodec;
}

UINT32 CopyPNGImage(const Archive* archive, const char* name, DUPixel** out_pixels, DUSize* out_size,
                    UINTN* out_byte_size, BOOLEAN log_missing) {
  const void* data = nullptr;
  UINT32 length = 0;
  UINT32 result = ArchiveGetData(archive, name, FALSE, &data, &length, FALSE);
  if (result == kArchiveFileNotFound) {
    if (log_missing) DULogError("_ArchiveCopyPNGImage", "ArchiveGetData coundn't find file: %s", name);
    return 1;
  }
  if (result != kArchiveOk) {
    DULogError("_ArchiveCopyPNGImage", "ArchiveGetData error: %d", result);
    return result;
  }
  return LWPixelBufferFromPNGData(data, length, out_pixels, out_size, out_byte_size);
}

UINT32 CopyPNGImageHiDPI(const Archive* archive, const char* name, DUPixel** out_pixels, DUSize* out_size,
                         UINTN* out_byte_size, BOOLEAN log_missing) {
  UINTN length = name ? AsciiStrLen(name) : 0;
  if (length >= 5 && length < kArchiveNameSize && name[length - 4] == '.') {
    char doubled[kArchiveNameSize + 8];
    MemCopy(doubled, name, length - 4);
    MemCopy(doubled + length - 4, "@2x.png", 8);
    if (CopyPNGImage(archive, doubled, out_pixels, out_size, out_byte_size, FALSE) == 0) return 0;
  } else {
    DULogError("_ArchiveCopyPNGImage_HiDPI", "Error composing the @2x name");
  }
  DUPixel* plain = nullptr;
  DUSize plain_size{};
  UINTN plain_bytes = 0;
  UINT32 result = CopyPNGImage(archive, name, &plain, &plain_size, &plain_bytes, log_missing);
  if (result != 0) return result;
  result = HiDPIScale2x(plain, plain_size, out_pixels, out_size, out_byte_size);
  PoolFree(plain);
  if (result != 0) DULogError("_ArchiveCopyPNGImage_HiDPI", "HiDPIScale2x failed: %d", result);
  return result;
}

}  // namespace

UINT32 LWPixelBufferFromPNGData(const void* data, UINTN length, DUPixel** out_pixels, DUSize* out_size,
                                UINTN* out_byte_size) {
  if (!data || !out_size) {
    DULogError("LWPixelBufferFromPNGData", "data or size is NULL");
    return 1;
  }
  TarnImageConversionProtocol* codec = FindCodec(data, length);
  if (!codec) return 1;
  UINT32 width = 0, height = 0;
  EFI_STATUS status = codec->GetImageDimensions(codec, data, length, &width, &height);
  if (EFI_ERROR(status) || width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide) {
    DULogError("LWPixelBufferFromPNGData", "picture dimensions %d x %d refused (status 0x%lx)", width, height, status);
    return 1;
  }
  DUSize size{INT32(height), INT32(width)};
  *out_size = size;
  if (out_byte_size) *out_byte_size = PixelBytes(size);
  if (!out_pixels) return 0;
  *out_pixels = nullptr;
  VOID* pixels = nullptr;
  UINTN pixels_size = 0;
  status = codec->DecodeImageData(codec, data, length, &pixels, &pixels_size);
  if (EFI_ERROR(status) || !pixels) {
    DULogError("LWPixelBufferFromPNGData", "DecodeImageData failed: 0x%lx", status);
    return 1;
  }
  if (EFI_ERROR(PoolTrack(pixels))) {  // freed already
    DULogError("LWPixelBufferFromPNGData", "no room to track the decoded pixels");
    return 1;
  }
  if (pixels_size < PixelBytes(size)) {  // a codec that delivers less than it announced
    DULogError("LWPixelBufferFromPNGData", "decoded %ld bytes for %d x %d pixels", UINT64(pixels_size), width, height);
    PoolFree(pixels);
    return 1;
  }
  *out_pixels = static_cast<DUPixel*>(pixels);
  return 0;
}

UINT32 HiDPIScale2x(const DUPixel* source, DUSize source_size, DUPixel** out, DUSize* out_size, UINTN* out_byte_size) {
  if (!source) {
    DULogError("HiDPIScale2x", "srcBuffer is NULL");
    return 1;
  }
  if (!out) {
    DULogError("HiDPIScale2x", "dstBuffer2x is NULL");
    return 1;
  }
  if (source_size.width <= 0 || source_size.height <= 0 || source_size.width > INT32(kMaxPictureSide) ||
      source_size.height > INT32(kMaxPictureSide)) {
    return 1;
  }
  DUSize size{source_size.height * 2, source_size.width * 2};
  auto* doubled = static_cast<DUPixel*>(PoolAllocate(PixelBytes(size)));
  if (!doubled) return 1;
  for (INT32 y = 0; y < source_size.height; ++y) {
    const DUPixel* row = source + UINTN(y) * UINTN(source_size.width);
    DUPixel* top = doubled + UINTN(2 * y) * UINTN(size.width);
    DUPixel* bottom = top + size.width;
    for (INT32 x = 0; x < source_size.width; ++x) {
      top[2 * x] = top[2 * x + 1] = bottom[2 * x] = bottom[2 * x + 1] = row[x];
    }
  }
  *out = doubled;
  if (out_size) *out_size = size;
  if (out_byte_size) *out_byte_size = PixelBytes(size);
  return 0;
}

UINT32 ArchiveCopyPNGImage(const Archive* archive, const char* name, DUPixel** out_pixels, DUSize* out_size,
                           UINTN* out_byte_size, BOOLEAN log_missing) {
  if (DUScaleFactor() >= 2) return CopyPNGImageHiDPI(archive, name, out_pixels, out_size, out_byte_size, log_missing);
  return CopyPNGImage(archive, name, out_pixels, out_size, out_byte_size, log_missing);
}

DUView* ArchiveViewCreateWithOptions(const Archive* archive, const char* name) {
  DUPixel* pixels = nullptr;
  DUSize size{};
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(archive, name, &pixels, &size, &bytes, TRUE) != 0) {
    DULogError("ArchiveViewCreateWithOptions", "ArchiveCopyPNGImage failed for file: %s", name);
    return nullptr;
  }
  DUView* view = nullptr;
  EFI_STATUS status = DUViewCreateWithImage(DURectMake(0, 0, size.height, size.width), pixels, bytes, &view);
  if (EFI_ERROR(status)) {
    DULogError("ArchiveViewCreateWithOptions", "DUViewCreate failed for file: %s", name);
    return nullptr;
  }
  if (!view) DULogError("ArchiveViewCreateWithOptions", "DUViewCreate returned NULL view for file: %s", name);
  return view;
}

UINT32 ArchiveViewSwapWithImage(const Archive* archive, DUView* view, const char* name) {
  DUPixel* pixels = nullptr;
  DUSize size{};
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(archive, name, &pixels, &size, &bytes, TRUE) != 0) {
    DULogError("ArchiveViewSwapWithImage", "ArchiveCopyPNGImage failed for file: %s", name);
    return 1;
  }
  if (DUViewSwapImageWithImage(view, pixels, size, bytes) != 0) {
    PoolFree(pixels);  // the view keeps its old picture
    return 1;
  }
  return 0;
}

EFI_STATUS LWSetViewsToVisible(DUView* const* views, BOOLEAN visible, const char* label) {
  EFI_STATUS last = EFI_SUCCESS;
  if (!views) return EFI_INVALID_PARAMETER;
  for (UINT32 i = 0; views[i] != kLWViewListEnd; ++i) {
    if (!views[i]) continue;
    EFI_STATUS status = DUViewSetVisible(views[i], visible);
    if (EFI_ERROR(status)) {
      DULogError("LWSetViewsToVisible", "(%s) DUViewSetVisible( view_i:%d, visible:%d ) failed, err: %d",
                 label ? label : "no id", i, UINT32(visible), INT32(status & 0xFFFF));
      last = status;
    }
  }
  return last;
}

UINT32 DecodeFirmwarePicture(const void* data, UINTN size, DUPixel** out_pixels, DUSize* out_size,
                             UINTN* out_byte_size, UINT32 scale) {
  if (!out_pixels || !out_size) return 1;
  DUPixel* pixels = nullptr;
  DUSize picture{};
  UINTN bytes = 0;
  if (LWPixelBufferFromPNGData(data, size, &pixels, &picture, &bytes) != 0) return 1;
  UINT32 factor = DUScaleFactor();
  if (scale >= 2 && factor >= 2 && UINT64(picture.width) * factor <= kMaxPictureSide &&
      UINT64(picture.height) * factor <= kMaxPictureSide) {
    DUSize scaled{INT32(picture.height * INT32(factor)), INT32(picture.width * INT32(factor))};
    auto* resampled = static_cast<DUPixel*>(PoolAllocate(PixelBytes(scaled)));
    if (!resampled || EFI_ERROR(DUResamplePixelBuffer(resampled, pixels, picture, scaled))) {
      PoolFree(resampled);
      PoolFree(pixels);
      return 1;
    }
    PoolFree(pixels);
    pixels = resampled;
    picture = scaled;
    bytes = PixelBytes(scaled);
  }
  *out_pixels = pixels;
  *out_size = picture;
  if (out_byte_size) *out_byte_size = bytes;
  return 0;
}
