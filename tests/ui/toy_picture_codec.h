// A picture codec for widget tests, installed as the firmware's image codec: "PIC!" + width
// byte + height byte + the pixels, little-endian. ToyPicture makes one of a single colour.
#pragma once

#include <cstring>
#include <string>

#include "draw/geometry.h"
#include "efi/efi.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "testfw/test_firmware.h"

struct ToyPictureCodec {
  TarnImageConversionProtocol protocol{};

  static EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol*, const VOID* data, UINTN size) {
    return size >= 6 && std::memcmp(data, "PIC!", 4) == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol*, const VOID* data, UINTN, UINT32* w, UINT32* h) {
    *w = static_cast<const uint8_t*>(data)[4];
    *h = static_cast<const uint8_t*>(data)[5];
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol*, const VOID* data, UINTN size, VOID** pixels,
                                  UINTN* pixels_size) {
    UINTN bytes = size - 6;
    EFI_STATUS status = gBS->AllocatePool(EfiBootServicesData, bytes ? bytes : 1, pixels);
    if (EFI_ERROR(status)) return status;
    std::memcpy(*pixels, static_cast<const uint8_t*>(data) + 6, bytes);
    *pixels_size = bytes;
    return EFI_SUCCESS;
  }
  ToyPictureCodec() {
    protocol.RecognizeImageData = Recognize;
    protocol.GetImageDimensions = Dimensions;
    protocol.DecodeImageData = Decode;
    TestFirmware::Current().InstallProtocol(nullptr, kTarnImageConversionProtocolGuid, &protocol);
  }
};

inline std::string ToyPicture(int w, int h, DUPixel colour) {
  std::string s = std::string("PIC!") + char(w) + char(h);
  for (int i = 0; i < w * h; ++i) s.append(reinterpret_cast<const char*>(&colour), 4);
  return s;
}
