// The embedded-picture decoder on arbitrary records. Input: width (u8 + 1), height (u8 + 1),
// a flags byte (bit 0 LZVN, bit 1 an opacity plane), the colour-table length (u8), then the
// colour table, and the rest split in half between the index plane and the opacity plane.
// Every piece is a heap block of exactly its size.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <vector>

#include "graphics/picture.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  TestFirmware fw;
  const size_t colours_length = data[3];
  if (size - 4 < colours_length) return 0;
  std::vector<uint8_t> colours(data + 4, data + 4 + colours_length);
  const uint8_t* rest = data + 4 + colours_length;
  size_t rest_size = size - 4 - colours_length;
  size_t half = (data[2] & 2) ? rest_size / 2 : rest_size;
  std::vector<uint8_t> pixels(rest, rest + half);
  std::vector<uint8_t> opacity(rest + half, rest + rest_size);
  EmbeddedPicture record{nullptr,
                         "fuzz",
                         uint16_t(data[0] + 1),
                         uint16_t(data[1] + 1),
                         (data[2] & 1) ? kEmbeddedPictureLzvn : kEmbeddedPictureLzss,
                         pixels.data(),
                         uint32_t(pixels.size()),
                         (data[2] & 2) ? opacity.data() : nullptr,
                         uint32_t(opacity.size()),
                         colours.data(),
                         uint32_t(colours.size())};
  Picture picture{};
  EFI_STATUS status = DecodeEmbeddedPicture(&record, &picture);
  if (!EFI_ERROR(status)) {
    if (!picture.pixels || picture.width != record.width || picture.height != record.height) std::abort();
    LayOverBackground(&picture, 0x00BFBFBF);
  } else if (picture.pixels) {
    std::abort();
  }
  PictureFree(&picture);
  if (TrackedAllocationCount() != 0) std::abort();
  return 0;
}
