// The firmware's image codec for PNG in tests that read the build's real archives: stb_image
// decodes into hearth's pixels (blue, green, red, transparency = 255 - alpha).
#pragma once

#include <cstring>

#include "efi/efi.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "testfw/test_firmware.h"

namespace host_png {
int Info(const void* data, UINTN size, int* w, int* h);
unsigned char* Load(const void* data, UINTN size, int* w, int* h);  // RGBA, freed with Free
void Free(unsigned char* pixels);
}  // namespace host_png

struct HostPngCodec {
  TarnImageConversionProtocol protocol{};

  static EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol*, const VOID* data, UINTN size) {
    return size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol*, const VOID* data, UINTN size, UINT32* w,
                                      UINT32* h) {
    int x = 0, y = 0;
    if (!host_png::Info(data, size, &x, &y)) return EFI_UNSUPPORTED;
    *w = UINT32(x);
    *h = UINT32(y);
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol*, const VOID* data, UINTN size, VOID** pixels,
                                  UINTN* pixels_size) {
    int x = 0, y = 0;
    unsigned char* rgba = host_png::Load(data, size, &x, &y);
    if (!rgba) return EFI_UNSUPPORTED;
    UINTN bytes = UINTN(x) * UINTN(y) * 4;
    EFI_STATUS status = gBS->AllocatePool(EfiBootServicesData, bytes, pixels);
    if (!EFI_ERROR(status)) {
      auto* out = static_cast<unsigned char*>(*pixels);
      for (UINTN i = 0; i < bytes; i += 4) {
        out[i] = rgba[i + 2];
        out[i + 1] = rgba[i + 1];
        out[i + 2] = rgba[i];
        out[i + 3] = UINT8(255 - rgba[i + 3]);
      }
      *pixels_size = bytes;
    }
    host_png::Free(rgba);
    return status;
  }
  explicit HostPngCodec(TestFirmware& fw) {
    protocol.RecognizeImageData = Recognize;
    protocol.GetImageDimensions = Dimensions;
    protocol.DecodeImageData = Decode;
    fw.InstallProtocol(nullptr, kTarnImageConversionProtocolGuid, &protocol);
  }
};
