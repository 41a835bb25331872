// The maker's image codec on the test firmware, for PNG: stb_image decodes into hearth's pixels
// (blue, green, red, transparency = 255 - alpha). Tests and hearth-render that read the
// build's real archives install it.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "testfw/test_firmware.h"

class MemoryImageCodec {
 public:
  explicit MemoryImageCodec(TestFirmware& fw);
  MemoryImageCodec(const MemoryImageCodec&) = delete;
  MemoryImageCodec& operator=(const MemoryImageCodec&) = delete;

  // Pictures decoded since the codec was installed.
  static int decodes;

 private:
  TarnImageConversionProtocol protocol_{};
};
