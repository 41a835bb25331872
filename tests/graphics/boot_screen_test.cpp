// The boot screen's decisions on an in-memory display: which artwork, where, on what colour,
// BlackMode, decode failures, the network-boot spinner and the panic picture.
#include "tests/graphics/test_pictures.h"

#include "config/background_color.h"
#include "efi/protocols/tarn_framebuffer_info.h"
#include "graphics/boot_screen.h"
#include "graphics/display_connect.h"
#include "memory/memory.h"

namespace {

constexpr uint32_t kWidth = 640, kHeight = 960;  // tall enough for the 2X spinner
constexpr uint32_t kGrey = 0x00BFBFBF;

class BootScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_.Add(TestPictureList::Solid("TarnLogo", 8, 10, 0x2040C0, kEmbeddedPictureLzvn, 255));
    list_.Add(TestPictureList::Solid("TarnLogo2X", 16, 20, 0x40C020, kEmbeddedPictureLzvn, 255));
    list_.Add(TestPictureList::Solid("TarnLogoBlack", 9, 11, 0xE0E0E0));
    list_.Add(TestPictureList::Solid("TarnLogoBlack2X", 18, 22, 0xC0C0F0));
    list_.Add(TestPictureList::Solid("CircleSlash", 12, 12, 0x303030, kEmbeddedPictureLzss));
    list_.Add(TestPictureList::Solid("PanicDialog", 40, 30, 0xF0F0F0));
    SetEmbeddedPictureListForTest(list_.Head());
    ASSERT_EQ(InitConsoleMode(), EFI_SUCCESS);
  }

  void SetColour(uint32_t colour) {
    colour_.color = colour;
    if (!colour_installed_) fw_.InstallProtocol(nullptr, kTarnBackgroundColorProtocolGuid, &colour_.protocol);
    colour_installed_ = true;
  }
  void SetByteVariable(const std::u16string& name, uint8_t value) { fw_.SetVariable(name, TarnVendorGuid, 7, {value}); }

  // What the sequence does before it draws.
  void Draw(uint32_t mode) {
    ReadHiDPIPreference();
    ReadBlackMode();
    LoadBackgroundColor();
    ASSERT_EQ(OpenBootGraphics(), EFI_SUCCESS);
    GetFramebufferInfo(nullptr, nullptr);
    DrawBootGraphics(mode);
  }

  static MemoryGraphicsOutput::Box Centred(uint32_t w, uint32_t h) {
    return {(kWidth - w) / 2, (kHeight - h) / 2, w, h};
  }

  TestFirmware fw_;
  MemoryGraphicsOutput screen_{kWidth, kHeight};
  TestPictureList list_;
  FakeBackgroundColor colour_;
  bool colour_installed_ = false;
};

TEST_F(BootScreenTest, ScaleAndBackgroundChooseTheArtwork) {
  struct Case {
    int ui_scale;  // -1: no variable
    uint32_t background;
    uint32_t w, h, rgb;
  } cases[] = {
      {-1, kGrey, 8, 10, 0x2040C0},        {1, kGrey, 8, 10, 0x2040C0},
      {2, kGrey, 16, 20, 0x40C020},        {3, kGrey, 16, 20, 0x40C020},
      {1, 0x000000, 9, 11, 0xE0E0E0},      {2, 0x000000, 18, 22, 0xC0C0F0},
      {1, 0x000001, 8, 10, 0x2040C0},      {1, 0x010000, 8, 10, 0x2040C0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "UIScale " << c.ui_scale << " background " << std::hex << c.background);
    BootModeFlags = 0;
    if (c.ui_scale >= 0) SetByteVariable(u"UIScale", uint8_t(c.ui_scale));
    SetColour(c.background);
    Draw(kBootScreenNormal);
    EXPECT_EQ(screen_.Pixel(0, 0), c.background);
    EXPECT_EQ(screen_.Pixel(kWidth - 1, kHeight - 1), c.background);
    EXPECT_EQ(screen_.BoundingBox(c.background), Centred(c.w, c.h));
    EXPECT_EQ(screen_.Colours(Centred(c.w, c.h)), std::vector<uint32_t>{Laid(c.rgb, c.background)});
    EXPECT_EQ(BootModeFlags & kBootModeBlackBackground ? 0u : 1u, c.background == 0 ? 0u : 1u);
  }
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST_F(BootScreenTest, WithoutTheColourProtocolTheBackgroundIsBlack) {
  Draw(kBootScreenNormal);
  EXPECT_EQ(screen_.Pixel(0, 0), 0u);
  EXPECT_EQ(screen_.BoundingBox(0), Centred(9, 11));  // the Black artwork
}

TEST_F(BootScreenTest, BlackModeFillsButDrawsNoLogoAndIsUsedOnce) {
  SetColour(kGrey);
  SetByteVariable(u"BlackMode", 0);
  Draw(kBootScreenNormal);
  EXPECT_EQ(screen_.BoundingBox(kGrey), Centred(8, 10));
  EXPECT_FALSE(BootModeFlags & kBootModeBlackMode);
  EXPECT_TRUE(fw_.GetVariable(u"BlackMode", TarnVendorGuid).has_value());

  SetByteVariable(u"BlackMode", 7);
  SetColour(0x123456);
  Draw(kBootScreenNormal);
  EXPECT_TRUE(BootModeFlags & kBootModeBlackMode);
  EXPECT_EQ(screen_.BoundingBox(0x123456), (MemoryGraphicsOutput::Box{0, 0, 0, 0}));
  EXPECT_FALSE(fw_.GetVariable(u"BlackMode", TarnVendorGuid).has_value());
}

TEST_F(BootScreenTest, ABrokenLogoLeavesTheBackgroundOnly) {
  auto broken = TestPictureList::Solid("TarnLogo", 8, 10, 0x2040C0);
  broken.indices[5] = 9;  // one colour entry only
  list_.Add(broken);      // found first
  SetEmbeddedPictureListForTest(list_.Head());
  SetColour(kGrey);
  Draw(kBootScreenNormal);
  EXPECT_EQ(screen_.Pixel(0, 0), kGrey);
  EXPECT_EQ(screen_.BoundingBox(kGrey), (MemoryGraphicsOutput::Box{0, 0, 0, 0}));
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST_F(BootScreenTest, FailedBootScreenShowsTheSignCentredOnlyInGraphics) {
  SetColour(kGrey);
  Draw(kBootScreenFailed);
  EXPECT_EQ(screen_.BoundingBox(kGrey), Centred(12, 12));
  EXPECT_EQ(screen_.Colours(Centred(12, 12)), std::vector<uint32_t>{Laid(0x303030, kGrey)});

  ASSERT_EQ(SetConsoleMode(kConsoleModeText), EFI_SUCCESS);
  int before = screen_.Blts();
  DrawBootGraphics(kBootScreenFailed);
  EXPECT_EQ(screen_.Blts(), before);
}

TEST_F(BootScreenTest, NoGraphicsDeviceMeansNothingIsDrawnAndNothingFails) {
  fw_.UninstallProtocol(fw_.SystemTable()->ConsoleOutHandle, kEfiGraphicsOutputProtocolGuid);
  EXPECT_NE(OpenBootGraphics(), EFI_SUCCESS);
  GetFramebufferInfo(nullptr, nullptr);
  DrawBootGraphics(kBootScreenNormal);
  EXPECT_EQ(screen_.Blts(), 0);
  EXPECT_EQ(DrawPanicDialog(), EFI_NOT_READY);
}

TEST_F(BootScreenTest, BlockTransferOnlyDisplaysAreRefused) {
  screen_.Info()->PixelFormat = PixelBltOnly;
  EXPECT_EQ(OpenBootGraphics(), EFI_UNSUPPORTED);
  screen_.Info()->PixelFormat = PixelBitMask;  // 5-6-5: 16 bits
  screen_.Info()->PixelInformation = {0xF800, 0x07E0, 0x001F, 0};
  EXPECT_EQ(OpenBootGraphics(), EFI_SUCCESS);
  EXPECT_EQ(gDisplay.bits_per_pixel, 16u);
}

class NetBootTest : public BootScreenTest, public ::testing::WithParamInterface<bool> {
 protected:
  // 18 frames of 4 x 4 (8 x 8 at 2X), frame f drawn in colour entry f.
  void AddSpinner(const char* name, uint16_t side) {
    TestPictureList::Spec spec{name, side, uint16_t(side * kNetBootFrames), kEmbeddedPictureLzvn, {}, {}, {}};
    for (uint32_t f = 0; f < kNetBootFrames; ++f) {
      spec.indices.insert(spec.indices.end(), size_t(side) * side, uint8_t(f));
      spec.colours.insert(spec.colours.end(), {uint8_t(0x10 + f), 0x80, 0x40});
    }
    list_.Add(spec);
    SetEmbeddedPictureListForTest(list_.Head());
  }
};

TEST_P(NetBootTest, SpinnerCyclesEighteenFramesAndStopsClean) {
  const bool hidpi = GetParam();
  AddSpinner("NetBoot", 4);
  AddSpinner("NetBoot2X", 8);
  if (hidpi) SetByteVariable(u"UIScale", 2);
  SetColour(kGrey);
  BootModeFlags |= kBootModeNetBoot;
  size_t events = fw_.LiveEvents();
  Draw(kBootScreenNormal);
  ASSERT_TRUE(AnimationRunning());
  const uint32_t side = hidpi ? 8 : 4;
  const uint32_t x = (kWidth - side) / 2, y = (kHeight - side) / 2 + (hidpi ? 400 : 200);
  auto frame_colour = [&](uint32_t f) { return Laid(((0x10 + f) << 16) | 0x8040, kGrey); };
  EXPECT_EQ(screen_.Colours({x, y, side, side}), std::vector<uint32_t>{frame_colour(0)});
  for (uint32_t step = 1; step <= kNetBootFrames + 2; ++step) {
    fw_.Advance100ns(kNetBootFramePeriod);
    uint32_t expected = step % kNetBootFrames;
    EXPECT_EQ(AnimationFrame(), expected);
    EXPECT_EQ(screen_.Colours({x, y, side, side}), std::vector<uint32_t>{frame_colour(expected)});
  }
  StopAnimation();
  EXPECT_FALSE(AnimationRunning());
  EXPECT_EQ(fw_.LiveEvents(), events);
  EXPECT_EQ(screen_.Colours({x, y, side, side}), std::vector<uint32_t>{kGrey});
  fw_.Advance100ns(10 * kNetBootFramePeriod);  // nothing draws any more
  EXPECT_EQ(screen_.Colours({x, y, side, side}), std::vector<uint32_t>{kGrey});
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(OneAndTwoX, NetBootTest, ::testing::Bool());

TEST_F(BootScreenTest, SpinnerOnlyRunsOnNetworkBootsWithALogo) {
  list_.Add(TestPictureList::Solid("NetBoot", 4, 72, 0x000000));
  SetEmbeddedPictureListForTest(list_.Head());
  SetColour(kGrey);
  Draw(kBootScreenNormal);
  EXPECT_FALSE(AnimationRunning());
  BootModeFlags |= kBootModeNetBoot;
  SetByteVariable(u"BlackMode", 1);
  Draw(kBootScreenNormal);
  EXPECT_FALSE(AnimationRunning());
}

TEST_F(BootScreenTest, PanicDialogFillsAndCentres) {
  SetColour(kGrey);
  ASSERT_EQ(OpenBootGraphics(), EFI_SUCCESS);
  LoadBackgroundColor();
  ASSERT_EQ(DrawPanicDialog(), EFI_SUCCESS);
  EXPECT_EQ(screen_.BoundingBox(kGrey), Centred(40, 30));
  EXPECT_EQ(screen_.Colours(Centred(40, 30)), std::vector<uint32_t>{Laid(0xF0F0F0, kGrey)});
}

// The maker's frame-buffer facts, for a display whose protocol does not tell them.
struct FakeFramebufferInfo {
  TarnFramebufferInfoProtocol protocol{GetInfo};
  static EFI_STATUS EFIAPI GetInfo(TarnFramebufferInfoProtocol*, EFI_PHYSICAL_ADDRESS* base, UINTN* size,
                                   UINT32* row_bytes, UINT32* width, UINT32* height, UINT32* depth) {
    *base = 0xC0000000;
    *size = UINTN(kWidth) * kHeight * 4;
    *row_bytes = kWidth * 4;
    *width = kWidth;
    *height = kHeight;
    *depth = 32;
    return EFI_SUCCESS;
  }
};

// Older firmware: only the UGA draw protocol on the console, the frame buffer known from
// the maker's protocol. The screens are drawn through UGA alike.
TEST_F(BootScreenTest, UgaOnlyConsolesDrawTheSameScreens) {
  fw_.UninstallProtocol(fw_.SystemTable()->ConsoleOutHandle, kEfiGraphicsOutputProtocolGuid);
  MemoryGraphicsOutput uga(kWidth, kHeight, PixelBlueGreenRedReserved8BitPerColor,
                           MemoryGraphicsOutput::Device::kUgaDraw);
  FakeFramebufferInfo info;
  fw_.InstallProtocol(nullptr, kTarnFramebufferInfoProtocolGuid, &info.protocol);
  SetColour(kGrey);
  Draw(kBootScreenNormal);
  EXPECT_TRUE(BootModeFlags & kBootModeGraphicsConsole);
  EXPECT_EQ(gDisplay.gop, nullptr);
  EXPECT_EQ(gDisplay.uga, uga.UgaProtocol());
  EXPECT_EQ(uga.Pixel(0, 0), kGrey);
  EXPECT_EQ(uga.BoundingBox(kGrey), Centred(8, 10));
  EXPECT_EQ(uga.Colours(Centred(8, 10)), std::vector<uint32_t>{Laid(0x2040C0, kGrey)});

  BootVideo video{};
  GetFramebufferInfo(&video, nullptr);
  EXPECT_EQ(video.baseAddress, 0xC0000000u);
  EXPECT_EQ(video.rowBytes, kWidth * 4);
  EXPECT_EQ(video.width, kWidth);
  EXPECT_EQ(video.height, kHeight);
  EXPECT_EQ(video.depth, 32u);

  DrawBootGraphics(kBootScreenFailed);
  EXPECT_EQ(uga.BoundingBox(kGrey), Centred(12, 12));
  ASSERT_EQ(DrawPanicDialog(), EFI_SUCCESS);
  EXPECT_EQ(uga.BoundingBox(kGrey), Centred(40, 30));
  EXPECT_EQ(screen_.Blts(), 0);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

// Without a frame-buffer base the UGA display is not drawn on, and nothing fails.
TEST_F(BootScreenTest, UgaWithoutFramebufferFactsDrawsNothing) {
  fw_.UninstallProtocol(fw_.SystemTable()->ConsoleOutHandle, kEfiGraphicsOutputProtocolGuid);
  MemoryGraphicsOutput uga(kWidth, kHeight, PixelBlueGreenRedReserved8BitPerColor,
                           MemoryGraphicsOutput::Device::kUgaDraw);
  SetColour(kGrey);
  Draw(kBootScreenNormal);
  EXPECT_EQ(gDisplay.uga, uga.UgaProtocol());
  EXPECT_EQ(uga.Blts(), 0);
  BootVideo video{};
  GetFramebufferInfo(&video, nullptr);
  EXPECT_EQ(video.baseAddress, 0u);
  EXPECT_EQ(video.width, kWidth);  // from the UGA mode
}

TEST(FramebufferInfo, FillsTheVideoRecordFromTheGraphicsOutputMode) {
  TestFirmware fw;
  MemoryGraphicsOutput screen(800, 600);
  screen.Info()->PixelsPerScanLine = 832;
  screen.SetFrameBufferBase(0x80000000);
  BootVideo video{};
  UINT32 saved = 1;
  GetFramebufferInfo(&video, &saved);
  EXPECT_EQ(video.baseAddress, 0x80000000u);
  EXPECT_EQ(video.rowBytes, 832u * 4);
  EXPECT_EQ(video.width, 800u);
  EXPECT_EQ(video.height, 600u);
  EXPECT_EQ(video.depth, 32u);
  EXPECT_EQ(video.displayMode, 0u);  // not this call's business
  EXPECT_EQ(saved, 0u);
}

}  // namespace
