#include "testfw/memory_image_codec.h"

#include <cstring>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace {

EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol*, const VOID* data, UINTN size) {
  return size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol*, const VOID* data, UINTN size, UINT32* w, UINT32* h) {
  int x = 0, y = 0, n = 0;
  if (!stbi_info_from_memory(static_cast<const stbi_uc*>(data), int(size), &x, &y, &n)) return EFI_UNSUPPORTED;
  *w = UINT32(x);
  *h = UINT32(y);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol*, const VOID* data, UINTN size, VOID** pixels,
                         UINTN* pixels_size) {
  ++MemoryImageCodec::decodes;
  int x = 0, y = 0, n = 0;
  stbi_uc* rgba = stbi_load_from_memory(static_cast<const stbi_uc*>(data), int(size), &x, &y, &n, 4);
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
  stbi_image_free(rgba);
  return status;
}

}  // namespace

int MemoryImageCodec::decodes = 0;

MemoryImageCodec::MemoryImageCodec(TestFirmware& fw) {
  decodes = 0;
  protocol_.RecognizeImageData = Recognize;
  protocol_.GetImageDimensions = Dimensions;
  protocol_.DecodeImageData = Decode;
  fw.InstallProtocol(nullptr, kTarnImageConversionProtocolGuid, &protocol_);
}
