// Small embedded-picture records for tests, compressed with the project's encoders, and a
// fixture with a display, the picture list and the console in graphics.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "efi/protocols/tarn_background_color.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "graphics/display.h"
#include "graphics/picture.h"
#include "output/console_mode.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/test_firmware.h"
#include "tools/lib/lzss_encode.h"
#include "tools/lib/lzvn_encode.h"

// A list of records whose bytes live as long as the object.
class TestPictureList {
 public:
  struct Spec {
    std::string name;
    uint16_t width, height;
    uint32_t compression;
    std::vector<uint8_t> indices;   // width x height (may be made wrong on purpose)
    std::vector<uint8_t> opacity;   // empty: none
    std::vector<uint8_t> colours;   // red, green, blue per entry
  };

  // A solid picture of one colour (rgb 0xRRGGBB), with an optional opacity for every pixel.
  static Spec Solid(const std::string& name, uint16_t width, uint16_t height, uint32_t rgb,
                    uint32_t compression = kEmbeddedPictureLzvn, int opacity = -1) {
    Spec s{name, width, height, compression, std::vector<uint8_t>(size_t(width) * height, 0), {},
           {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)}};
    if (opacity >= 0) s.opacity.assign(size_t(width) * height, uint8_t(opacity));
    return s;
  }

  const EmbeddedPicture* Add(const Spec& spec) {
    auto stored = std::make_unique<Stored>();
    stored->pixels = Encode(spec.compression, spec.indices);
    if (!spec.opacity.empty()) stored->opacity = Encode(spec.compression, spec.opacity);
    stored->colours = spec.colours;
    stored->name = spec.name;
    EmbeddedPicture& r = stored->record;
    r.next = head_;
    r.name = stored->name.c_str();
    r.width = spec.width;
    r.height = spec.height;
    r.compression = spec.compression;
    r.pixels = stored->pixels.data();
    r.pixels_length = uint32_t(stored->pixels.size());
    r.opacity = spec.opacity.empty() ? nullptr : stored->opacity.data();
    r.opacity_length = uint32_t(stored->opacity.size());
    r.colors = stored->colours.data();
    r.colors_length = uint32_t(stored->colours.size());
    head_ = &r;
    stored_.push_back(std::move(stored));
    return head_;
  }
  const EmbeddedPicture* Head() const { return head_; }

  static std::vector<uint8_t> Encode(uint32_t compression, const std::vector<uint8_t>& plane) {
    return compression == kEmbeddedPictureLzss ? LzssEncode(plane.data(), plane.size())
                                               : LzvnEncode(plane.data(), plane.size());
  }

 private:
  struct Stored {
    EmbeddedPicture record{};
    std::string name;
    std::vector<uint8_t> pixels, opacity, colours;
  };
  std::deque<std::unique_ptr<Stored>> stored_;
  const EmbeddedPicture* head_ = nullptr;
};

// The background-colour protocol answering a fixed colour.
struct FakeBackgroundColor {
  TarnBackgroundColorProtocol protocol{nullptr, Get};
  uint32_t color = 0x00BFBFBF;
  EFI_STATUS status = EFI_SUCCESS;
  static EFI_STATUS EFIAPI Get(TarnBackgroundColorProtocol* self, UINT32* color) {
    auto* fake = reinterpret_cast<FakeBackgroundColor*>(self);
    if (fake->status == EFI_SUCCESS) *color = fake->color;
    return fake->status;
  }
};

// The expected on-screen colour of an embedded colour laid over a background.
inline uint32_t Laid(uint32_t rgb, uint32_t background, uint32_t opacity = 255) {
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    uint32_t c = (rgb >> shift) & 0xFF, b = (background >> shift) & 0xFF;
    out |= ((b * (255 - opacity) + c * opacity + 127) / 255) << shift;
  }
  return out;
}
