// The custom-logo path: a picture file from the boot volume through the image codec, laid
// over the background and scaled for the screen. The codec here is the platform loader's
// PNG codec (the decoder a generic machine uses), installed on the test firmware; the first
// two input bytes choose the screen height and the "Boot Logo Scale".
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/custom_logo.h"
#include "graphics/display.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
// The platform loader's codec is its own image, outside the firmware library.
#include "platform/image_codec.cpp"
#include "platform/platform_text.cpp"
#include "platform/png_decoder.cpp"
#include "platform/serial_output.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  TestFirmware fw;
  InstallImageCodec();
  gDisplay.width = 1024;
  gDisplay.height = 600 + data[0] * 2;  // both sides of 1080
  INT64 scale = data[1] * 8;
  void* interface = nullptr;
  gBS->LocateProtocol(&kTarnImageConversionProtocolGuid, nullptr, &interface);
  auto* codec = static_cast<TarnImageConversionProtocol*>(interface);
  const uint8_t* file = data + 2;
  size_t file_size = size - 2;
  if (codec->RecognizeImageData(codec, file, file_size) != EFI_SUCCESS) return 0;
  UINT32 w = 0, h = 0;
  if (codec->GetImageDimensions(codec, file, file_size, &w, &h) != EFI_SUCCESS) return 0;
  if (uint64_t(w) * h > 4096 * 4096) return 0;
  void* pixels = nullptr;
  UINTN pixels_size = 0;
  if (codec->DecodeImageData(codec, file, file_size, &pixels, &pixels_size) != EFI_SUCCESS) return 0;
  if (pixels_size != UINTN(w) * h * 4) std::abort();
  LayCodecPixelsOverBackground(static_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(pixels), UINTN(w) * h, 0x00BFBFBF);
  UINT32 nw = 0, nh = 0;
  if (CustomLogoScaledSize(gDisplay.width, gDisplay.height, w, h, scale, &nw, &nh)) {
    if (nw > w) std::abort();
  }
  gBS->FreePool(pixels);
  RemoveImageCodec();
  return 0;
}
