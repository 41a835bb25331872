// Custom boot logos: the scaling decision, the blend over the background, and the fall back
// to the embedded artwork whenever the file or a codec lets the logo down.
#include "tests/config/options_fixture.h"
#include "tests/graphics/test_pictures.h"

#include <cstring>

#include "efi/protocols/tarn_image_conversion.h"
#include "graphics/boot_screen.h"
#include "graphics/custom_logo.h"
#include "graphics/display_connect.h"
#include "memory/memory.h"

namespace {

TEST(CustomLogoScaledSize, ShrinksOnlyBelow1080LinesAndNeverEnlarges) {
  struct Case {
    uint32_t screen_w, screen_h, w, h;
    int64_t scale;
    bool scaled;
    uint32_t new_w, new_h;
  } cases[] = {
      // 16.16 arithmetic: k = 0.8 is 0.79998..., so 160 x 80 comes out one short.
      {1280, 720, 200, 100, 125, true, 159, 79},    // 16:9, an eighth of the width
      {1280, 720, 400, 300, 250, true, 319, 239},   // a quarter
      {1024, 768, 200, 200, 125, true, 127, 170},   // 4:3 screens stretch by the aspect
      {1918, 1079, 400, 400, 125, true, 239, 239},  // the last height that scales
      {1920, 1080, 400, 400, 125, false, 0, 0},     // 1080 lines and more: never
      {3840, 2160, 4000, 400, 125, false, 0, 0},
      {1280, 720, 100, 100, 125, false, 0, 0},      // target 160 wider than the picture
      {1280, 720, 160, 100, 125, true, 160, 100},   // target exactly the picture's width
      {1280, 720, 400, 400, 0, false, 0, 0},        // scale 0 switches scaling off
      {1280, 720, 400, 400, -5, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.screen_w << "x" << c.screen_h << " picture " << c.w << "x" << c.h);
    uint32_t w = 0, h = 0;
    EXPECT_EQ(CustomLogoScaledSize(c.screen_w, c.screen_h, c.w, c.h, c.scale, &w, &h), c.scaled);
    if (c.scaled) {
      EXPECT_EQ(w, c.new_w);
      EXPECT_EQ(h, c.new_h);
    }
  }
}

TEST(CustomLogoBlend, TransparentPixelsTakeTheBackgroundAndOpaqueOnesStay) {
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL pixels[3] = {{200, 100, 50, 0}, {200, 100, 50, 255}, {200, 100, 50, 51}};
  LayCodecPixelsOverBackground(pixels, 3, 0x00FFFFFF);
  EXPECT_EQ(pixels[0].Blue, 200);
  EXPECT_EQ(pixels[0].Red, 50);
  EXPECT_EQ(pixels[1].Blue, 255);
  EXPECT_EQ(pixels[1].Red, 255);
  // 80% opaque over white: never brighter than white, never darker than the picture.
  EXPECT_EQ(pixels[2].Blue, (255 * 51 + 200 * 204) / 255);
  EXPECT_EQ(pixels[2].Red, (255 * 51 + 50 * 204) / 255);
  for (const auto& p : pixels) EXPECT_EQ(p.Reserved, 0);
}

// A codec of a made-up format: "FAKE", u32 width, u32 height, then blue, green, red,
// transparency per pixel.
struct FakeCodec {
  TarnImageConversionProtocol protocol{nullptr, nullptr, Recognize, Dimensions, Decode};
  EFI_STATUS recognize = EFI_SUCCESS, dimensions = EFI_SUCCESS, decode = EFI_SUCCESS;
  UINTN short_by = 0;  // hands back fewer bytes than the dimensions promise
  int decodes = 0;

  static FakeCodec* Self(TarnImageConversionProtocol* p) { return reinterpret_cast<FakeCodec*>(p); }
  static EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol* p, const VOID* data, UINTN size) {
    if (size < 12 || std::memcmp(data, "FAKE", 4) != 0) return EFI_UNSUPPORTED;
    return Self(p)->recognize;
  }
  static EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol* p, const VOID* data, UINTN, UINT32* w,
                                      UINT32* h) {
    std::memcpy(w, static_cast<const uint8_t*>(data) + 4, 4);
    std::memcpy(h, static_cast<const uint8_t*>(data) + 8, 4);
    return Self(p)->dimensions;
  }
  static EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol* p, const VOID* data, UINTN size, VOID** pixels,
                                  UINTN* pixels_size) {
    ++Self(p)->decodes;
    if (Self(p)->decode != EFI_SUCCESS) return Self(p)->decode;
    UINTN n = size - 12 - Self(p)->short_by;
    gBS->AllocatePool(EfiBootServicesData, n, pixels);
    std::memcpy(*pixels, static_cast<const uint8_t*>(data) + 12, n);
    *pixels_size = n;
    return EFI_SUCCESS;
  }
};

std::vector<uint8_t> FakeImage(uint32_t w, uint32_t h, uint32_t rgb, uint8_t transparency) {
  std::vector<uint8_t> file = {'F', 'A', 'K', 'E'};
  for (uint32_t v : {w, h}) file.insert(file.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
  for (uint32_t i = 0; i < w * h; ++i) file.insert(file.end(), {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16), transparency});
  return file;
}

class CustomLogoTest : public BooterFixture {
 protected:
  void SetUpScreen(uint32_t w, uint32_t h) {
    screen_ = std::make_unique<MemoryGraphicsOutput>(w, h);
    list_.Add(TestPictureList::Solid("TarnLogo", 8, 10, 0x2040C0));
    list_.Add(TestPictureList::Solid("CircleSlash", 12, 12, 0x303030, kEmbeddedPictureLzss));
    SetEmbeddedPictureListForTest(list_.Head());
    colour_.color = 0x00BFBFBF;
    fw_.InstallProtocol(nullptr, kTarnBackgroundColorProtocolGuid, &colour_.protocol);
    codec_handle_ = fw_.InstallProtocol(nullptr, kTarnImageConversionProtocolGuid, &codec_.protocol);
  }
  void Configure(const std::string& members) {
    AddConfig(kStandardConfig, members);
    Process();
    SetBootLogoVolume(nullptr, root_);
  }
  MemoryGraphicsOutput::Box DrawAndMeasure(uint32_t mode) {
    EXPECT_EQ(InitConsoleMode(), EFI_SUCCESS);
    LoadBackgroundColor();
    EXPECT_EQ(OpenBootGraphics(), EFI_SUCCESS);
    GetFramebufferInfo(nullptr, nullptr);
    DrawBootGraphics(mode);
    return screen_->BoundingBox(0x00BFBFBF);
  }
  MemoryGraphicsOutput::Box Centred(uint32_t w, uint32_t h) {
    return {(gDisplay.width - w) / 2, (gDisplay.height - h) / 2, w, h};
  }

  std::unique_ptr<MemoryGraphicsOutput> screen_;
  TestPictureList list_;
  FakeBackgroundColor colour_;
  FakeCodec codec_;
  EFI_HANDLE codec_handle_ = nullptr;
};

TEST_F(CustomLogoTest, ScaledOn1024x768AndKeptAt1920x1080) {
  for (uint32_t height : {768u, 1080u}) {
    SCOPED_TRACE(height);
    gDisplay = DisplayState{};
    SetUpScreen(height == 768 ? 1024 : 1920, height);
    fs_.AddFile("\\Library\\logo.fake", FakeImage(300, 200, 0x3060C0, 0));
    Configure(StringMember("Boot Logo", "\\Library\\logo.fake"));
    auto box = DrawAndMeasure(kBootScreenNormal);
    uint32_t w = 300, h = 200;
    if (height == 768) {
      ASSERT_TRUE(CustomLogoScaledSize(1024, 768, 300, 200, 125, &w, &h));
    }
    EXPECT_EQ(box, Centred(w, h));
    EXPECT_EQ(screen_->Pixel(box.x + w / 2, box.y + h / 2), 0x3060C0u);
    screen_.reset();
    fw_.UninstallProtocol(codec_handle_, kTarnImageConversionProtocolGuid);
  }
}

TEST_F(CustomLogoTest, BootLogoScaleKeyChangesTheTarget) {
  SetUpScreen(1280, 720);
  fs_.AddFile("\\logo.fake", FakeImage(400, 400, 0x3060C0, 0));
  Configure(StringMember("Boot Logo", "/logo.fake") + "<key>Boot Logo Scale</key><integer>250</integer>\n");
  {
    auto box = DrawAndMeasure(kBootScreenNormal);
    EXPECT_EQ(box, Centred(319, 319));
  }
}

TEST_F(CustomLogoTest, FailedBootUsesBootFailLogo) {
  SetUpScreen(1920, 1080);
  fs_.AddFile("\\fail.fake", FakeImage(20, 30, 0x800000, 0));
  Configure(StringMember("Boot Logo", "\\nothing.fake") + StringMember("Boot Fail Logo", "\\fail.fake"));
  {
    auto box = DrawAndMeasure(kBootScreenFailed);
    EXPECT_EQ(box, Centred(20, 30));
  }
  {
    auto box = DrawAndMeasure(kBootScreenNormal);
    EXPECT_EQ(box, Centred(8, 10));  // "Boot Logo" is missing
  }
}

TEST_F(CustomLogoTest, EveryFailureFallsBackToTheEmbeddedLogo) {
  SetUpScreen(1920, 1080);
  fs_.AddFile("\\logo.fake", FakeImage(30, 30, 0x3060C0, 0));
  fs_.AddFile("\\logo.other", std::string("PNG? no"));
  Configure(StringMember("Boot Logo", "\\logo.fake"));
  struct Case {
    const char* what;
    EFI_STATUS recognize, dimensions, decode;
    UINTN short_by;
  } cases[] = {
      {"not recognised", EFI_UNSUPPORTED, EFI_SUCCESS, EFI_SUCCESS, 0},
      {"no dimensions", EFI_SUCCESS, EFI_DEVICE_ERROR, EFI_SUCCESS, 0},
      {"decode fails", EFI_SUCCESS, EFI_SUCCESS, EFI_VOLUME_CORRUPTED, 0},
      {"fewer pixels than promised", EFI_SUCCESS, EFI_SUCCESS, EFI_SUCCESS, 4},
  };
  const UINTN live = TrackedAllocationCount();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    codec_.recognize = c.recognize;
    codec_.dimensions = c.dimensions;
    codec_.decode = c.decode;
    codec_.short_by = c.short_by;
    auto box = DrawAndMeasure(kBootScreenNormal);
    EXPECT_EQ(box, Centred(8, 10));
    EXPECT_EQ(TrackedAllocationCount(), live);
  }
}

TEST_F(CustomLogoTest, MissingFileOrNoCodecFallsBack) {
  SetUpScreen(1920, 1080);
  Configure(StringMember("Boot Logo", "\\missing.fake"));
  {
    auto box = DrawAndMeasure(kBootScreenNormal);
    EXPECT_EQ(box, Centred(8, 10));
  }
  fs_.AddFile("\\missing.fake", FakeImage(30, 30, 0x3060C0, 0));
  fw_.UninstallProtocol(codec_handle_, kTarnImageConversionProtocolGuid);
  {
    auto box = DrawAndMeasure(kBootScreenNormal);
    EXPECT_EQ(box, Centred(8, 10));
  }
  EXPECT_EQ(codec_.decodes, 0);
}

}  // namespace
