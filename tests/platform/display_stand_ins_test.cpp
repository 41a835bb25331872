// The display stand-ins of the platform loader: the new settings directives, the PNG codec
// (round trip through stb_image_write), gamma and frame-buffer reports, the gop-mode choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "efi/protocols/tarn_background_color.h"
#include "efi/protocols/tarn_framebuffer_info.h"
#include "efi/protocols/tarn_gamma.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "hw/fake/hw_fake.h"
#include "platform/display_services.h"
#include "platform/image_codec.h"
#include "platform/png_decoder.h"
#include "platform/settings_parser.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/test_firmware.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

struct Chosen {
  int console = -1;
  int network = -1;
  uint32_t latency = 0;
  BackgroundColorMode background = BackgroundColorMode::kAbsent;
  uint32_t rgb = 0;
  uint32_t width = 0, height = 0;
  std::vector<size_t> malformed;
};

size_t Parse(const std::string& text, Chosen* chosen) {
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  SettingsSink sink{chosen, nullptr, nullptr,
                    [](void* c, size_t line, const char*) { static_cast<Chosen*>(c)->malformed.push_back(line); },
                    nullptr, nullptr,
                    nullptr, nullptr, nullptr,  // input stand-ins
                    [](void* c, bool graphics) { static_cast<Chosen*>(c)->console = graphics; },
                    [](void* c, BackgroundColorMode mode, uint32_t rgb) {
                      static_cast<Chosen*>(c)->background = mode;
                      static_cast<Chosen*>(c)->rgb = rgb;
                    },
                    [](void* c, uint32_t w, uint32_t h) {
                      static_cast<Chosen*>(c)->width = w;
                      static_cast<Chosen*>(c)->height = h;
                    },
                    [](void* c, bool network) { static_cast<Chosen*>(c)->network = network; },
                    [](void* c, uint32_t ms) { static_cast<Chosen*>(c)->latency = ms; }};
  return ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()},
                               sink);
}

TEST(DisplayDirectives, ParseAndRefuse) {
  Chosen c;
  EXPECT_EQ(Parse("console-start graphics\nbackground-color 0xBFBFBF\ngop-mode 1920x1080\n", &c), 0u);
  EXPECT_EQ(c.console, 1);
  EXPECT_EQ(c.background, BackgroundColorMode::kColor);
  EXPECT_EQ(c.rgb, 0xBFBFBFu);
  EXPECT_EQ(c.width, 1920u);
  EXPECT_EQ(c.height, 1080u);
  EXPECT_EQ(Parse("hearth-source network\nnetwork-latency 3000\n", &c), 0u);
  EXPECT_EQ(c.network, 1);
  EXPECT_EQ(c.latency, 3000u);
  EXPECT_EQ(Parse("hearth-source volume\n", &c), 0u);
  EXPECT_EQ(c.network, 0);
  EXPECT_EQ(Parse("hearth-source cloud\nnetwork-latency 60001\nnetwork-latency\n", &c), 3u);
  EXPECT_EQ(Parse("background-color none\n", &c), 0u);
  EXPECT_EQ(c.background, BackgroundColorMode::kAbsent);
  EXPECT_EQ(Parse("background-color failing\n", &c), 0u);
  EXPECT_EQ(c.background, BackgroundColorMode::kFailing);
  Chosen bad;
  EXPECT_EQ(Parse("console-start sideways\nbackground-color 0x1000000\ngop-mode 1920\ngop-mode 0x768\n"
                  "gop-mode 1024x768 extra\nbackground-color\n",
                  &bad),
            6u);
  EXPECT_EQ(bad.malformed, (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(bad.width, 0u);
}

std::vector<uint8_t> Png(int w, int h, const std::vector<uint8_t>& rgba) {
  std::vector<uint8_t> out;
  stbi_write_png_to_func([](void* ctx, void* data, int size) {
    auto* v = static_cast<std::vector<uint8_t>*>(ctx);
    v->insert(v->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  }, &out, w, h, 4, rgba.data(), w * 4);
  return out;
}

TEST(ImageCodec, DecodesPngToBlueGreenRedAndTransparency) {
  TestFirmware fw;
  ASSERT_EQ(InstallImageCodec(), EFI_SUCCESS);
  void* interface = nullptr;
  ASSERT_EQ(gBS->LocateProtocol(&kTarnImageConversionProtocolGuid, nullptr, &interface), EFI_SUCCESS);
  auto* codec = static_cast<TarnImageConversionProtocol*>(interface);
  auto png = Png(3, 2, {10, 20, 30, 255, 40, 50, 60, 0, 70, 80, 90, 128, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  EXPECT_EQ(codec->RecognizeImageData(codec, png.data(), png.size()), EFI_SUCCESS);
  UINT32 w = 0, h = 0;
  ASSERT_EQ(codec->GetImageDimensions(codec, png.data(), png.size(), &w, &h), EFI_SUCCESS);
  EXPECT_EQ(w, 3u);
  EXPECT_EQ(h, 2u);
  void* pixels = nullptr;
  UINTN size = 0;
  ASSERT_EQ(codec->DecodeImageData(codec, png.data(), png.size(), &pixels, &size), EFI_SUCCESS);
  ASSERT_EQ(size, 24u);
  const uint8_t* p = static_cast<const uint8_t*>(pixels);
  EXPECT_EQ((std::vector<uint8_t>(p, p + 12)), (std::vector<uint8_t>{30, 20, 10, 0, 60, 50, 40, 255, 90, 80, 70, 127}));
  gBS->FreePool(pixels);
  EXPECT_NE(HwFakeSerialOutput().find("platform: image codec: decoded a 3x2 PNG"), std::string::npos);

  // Not a PNG, a cut one, a damaged one.
  std::string text = "GIF89a, not a PNG";
  EXPECT_EQ(codec->RecognizeImageData(codec, text.data(), text.size()), EFI_UNSUPPORTED);
  EXPECT_EQ(codec->RecognizeImageData(codec, png.data(), 12), EFI_UNSUPPORTED);
  auto damaged = png;
  damaged[damaged.size() - 20] ^= 0xFF;
  if (codec->DecodeImageData(codec, damaged.data(), damaged.size(), &pixels, &size) == EFI_SUCCESS) {
    gBS->FreePool(pixels);  // stb does not check every CRC; it must still stay inside the data
  }
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  RemoveImageCodec();
}

TEST(ImageCodec, RefusesHugeDimensions) {
  TestFirmware fw;
  auto png = Png(1, 1, {1, 2, 3, 255});
  // IHDR width at byte 16, big-endian; its CRC is not checked by the header read.
  png[16] = 0;
  png[17] = 0x01;  // 65536 wide
  UINT32 w = 0, h = 0;
  EXPECT_FALSE(PngInfo(png.data(), png.size(), &w, &h));
}

TEST(DisplayStandIns, GammaAndFramebufferReportOnTheSerialPort) {
  TestFirmware fw;
  MemoryGraphicsOutput screen(800, 600);
  ASSERT_EQ(InstallGamma(), EFI_SUCCESS);
  ASSERT_EQ(InstallFramebufferInfo(), EFI_SUCCESS);
  ASSERT_EQ(InstallBackgroundColor(BackgroundColorMode::kFailing, 0), EFI_SUCCESS);
  void* interface = nullptr;
  ASSERT_EQ(gBS->LocateProtocol(&kTarnGammaProtocolGuid, nullptr, &interface), EFI_SUCCESS);
  auto* gamma = static_cast<TarnGammaProtocol*>(interface);
  std::vector<UINT16> ramp(1024);
  for (int i = 0; i < 1024; ++i) ramp[i] = UINT16(64 * i);
  EXPECT_EQ(gamma->SetGammaRamps(gamma, 2, 1024, ramp.data(), ramp.data(), ramp.data()), EFI_SUCCESS);
  EXPECT_EQ(gamma->SetGammaRamps(gamma, 2, 0, nullptr, nullptr, nullptr), EFI_SUCCESS);
  const std::string& serial = HwFakeSerialOutput();
  EXPECT_NE(serial.find("platform: gamma ramps: mode 2, 1024 entries, red 0 32768 65472 sum 33521664"),
            std::string::npos)
      << serial;
  EXPECT_NE(serial.find("platform: gamma reset (channel mode 2)"), std::string::npos);

  ASSERT_EQ(gBS->LocateProtocol(&kTarnFramebufferInfoProtocolGuid, nullptr, &interface), EFI_SUCCESS);
  auto* info = static_cast<TarnFramebufferInfoProtocol*>(interface);
  EFI_PHYSICAL_ADDRESS base = 0;
  UINTN size = 0;
  UINT32 row = 0, w = 0, h = 0, depth = 0;
  ASSERT_EQ(info->GetFramebufferInfo(info, &base, &size, &row, &w, &h, &depth), EFI_SUCCESS);
  EXPECT_EQ(w, 800u);
  EXPECT_EQ(row, 3200u);
  EXPECT_NE(base, 0u);

  ASSERT_EQ(gBS->LocateProtocol(&kTarnBackgroundColorProtocolGuid, nullptr, &interface), EFI_SUCCESS);
  auto* colour = static_cast<TarnBackgroundColorProtocol*>(interface);
  UINT32 rgb = 0;
  EXPECT_EQ(colour->GetBackgroundColor(colour, &rgb), EFI_DEVICE_ERROR);
  RemoveDisplayServices();
  EXPECT_NE(gBS->LocateProtocol(&kTarnGammaProtocolGuid, nullptr, &interface), EFI_SUCCESS);
  EXPECT_EQ(InstallBackgroundColor(BackgroundColorMode::kAbsent, 0), EFI_NOT_FOUND);
}

}  // namespace
