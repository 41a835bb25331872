#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "draw/display.h"
#include "draw/view.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive.h"
#include "ui/archive_image.h"

namespace {

// A codec for a toy format: "PIC" + width byte + height byte + the pixels, little-endian.
struct FakeCodec {
  TarnImageConversionProtocol protocol{};
  char accepts;  // the fourth magic byte it reads
  int recognised = 0;

  static FakeCodec* Self(TarnImageConversionProtocol* p) { return reinterpret_cast<FakeCodec*>(p); }
  static EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol* self, const VOID* data, UINTN size) {
    ++Self(self)->recognised;
    const char* d = static_cast<const char*>(data);
    return size >= 6 && d[0] == 'P' && d[1] == 'I' && d[2] == 'C' && d[3] == Self(self)->accepts ? EFI_SUCCESS
                                                                                               : EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol*, const VOID* data, UINTN, UINT32* w, UINT32* h) {
    *w = static_cast<const uint8_t*>(data)[4];
    *h = static_cast<const uint8_t*>(data)[5];
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol*, const VOID* data, UINTN size, VOID** pixels,
                                  UINTN* pixels_size) {
    UINTN bytes = size - 6;
    gBS->AllocatePool(EfiBootServicesData, bytes ? bytes : 1, pixels);
    std::memcpy(*pixels, static_cast<const uint8_t*>(data) + 6, bytes);
    *pixels_size = bytes;
    return EFI_SUCCESS;
  }
  explicit FakeCodec(char magic) : accepts(magic) {
    protocol.RecognizeImageData = Recognize;
    protocol.GetImageDimensions = Dimensions;
    protocol.DecodeImageData = Decode;
  }
  void Install() { TestFirmware::Current().InstallProtocol(nullptr, kTarnImageConversionProtocolGuid, &protocol); }
};

std::string Picture(char magic, int w, int h, DUPixel colour, bool short_pixels = false) {
  std::string s = std::string("PIC") + magic + char(w) + char(h);
  int count = w * h - (short_pixels ? 1 : 0);
  for (int i = 0; i < count; ++i) s.append(reinterpret_cast<const char*>(&colour), 4);
  return s;
}

class ArchiveImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog();
    png_.Install();
    other_.Install();
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
  }
  void TearDown() override {
    ArchiveDestroy(archive_);
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  void Open(const std::vector<RawRecord>& records) {
    bytes_ = RawArchive(records);
    ASSERT_EQ(ArchiveCreate(bytes_.data(), bytes_.size(), &archive_), kArchiveOk);
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{40, 30, MemoryGraphicsOutput::kUnwritten};
  FakeCodec other_{'G'};
  FakeCodec png_{'N'};
  std::vector<uint8_t> bytes_;
  Archive* archive_ = nullptr;
};

const DUPixel kRed = DUColorMake(200, 10, 20, 0);
const DUPixel kSeeThrough = DUColorMake(100, 50, 25, 128);

TEST_F(ArchiveImageTest, HiDPIPrefersTheAt2xPictureAndOtherwiseDoublesFaithfully) {
  Open({{"x.png", Picture('N', 2, 1, kSeeThrough)}, {"x@2x.png", Picture('N', 4, 2, kRed)},
        {"y.png", Picture('N', 2, 1, kSeeThrough)}});
  ASSERT_EQ(DUSetScale(2), EFI_SUCCESS);
  DUPixel* pixels = nullptr;
  DUSize size{};
  UINTN bytes = 0;
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "x.png", &pixels, &size, &bytes, TRUE), 0u);
  EXPECT_EQ(size.width, 4);
  EXPECT_EQ(pixels[0], kRed);
  PoolFree(pixels);
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "y.png", &pixels, &size, &bytes, TRUE), 0u);
  EXPECT_EQ(size.width, 4);
  EXPECT_EQ(size.height, 2);
  EXPECT_EQ(bytes, 4u * 2 * 4);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(pixels[i], kSeeThrough) << i;  // colour and transparency kept
  PoolFree(pixels);
  ASSERT_EQ(DUSetScale(1), EFI_SUCCESS);
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "x.png", &pixels, &size, &bytes, TRUE), 0u);
  EXPECT_EQ(size.width, 2);
  PoolFree(pixels);
}

TEST_F(ArchiveImageTest, TheAt2xNameNeedsFiveCharactersAndAFourthFromLastDot) {
  Open({{"a.png", Picture('N', 1, 1, kRed)}, {"a@2x.png", Picture('N', 2, 2, kSeeThrough)},
        {"ab.c", Picture('N', 1, 1, kRed)}});
  ASSERT_EQ(DUSetScale(2), EFI_SUCCESS);
  DUPixel* pixels = nullptr;
  DUSize size{};
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "a.png", &pixels, &size, nullptr, TRUE), 0u);
  EXPECT_EQ(pixels[0], kSeeThrough);  // served from a@2x.png
  PoolFree(pixels);
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "ab.c", &pixels, &size, nullptr, TRUE), 0u);
  EXPECT_EQ(size.width, 2);  // doubled
  PoolFree(pixels);
  EXPECT_NE(CapturedLog().find("Error composing the @2x name"), std::string::npos);
  EXPECT_EQ(ArchiveCopyPNGImage(archive_, "none.png", &pixels, &size, nullptr, TRUE), 1u);
  EXPECT_NE(CapturedLog().find("ArchiveGetData coundn't find file: none.png"), std::string::npos);
  DUSetScale(1);
}

TEST_F(ArchiveImageTest, TheAcceptingCodecIsRememberedAndAShortDecodeIsRefused) {
  Open({{"g.png", Picture('G', 1, 1, kRed)}, {"n.png", Picture('N', 1, 1, kRed)},
        {"short.png", Picture('N', 3, 3, kRed, true)}, {"junk.png", "not a picture"}});
  DUPixel* pixels = nullptr;
  DUSize size{};
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "n.png", &pixels, &size, nullptr, TRUE), 0u);
  PoolFree(pixels);
  int before = png_.recognised;
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "n.png", &pixels, &size, nullptr, TRUE), 0u);
  PoolFree(pixels);
  EXPECT_EQ(png_.recognised, before + 1);  // asked directly, no new search
  ASSERT_EQ(ArchiveCopyPNGImage(archive_, "g.png", &pixels, &size, nullptr, TRUE), 0u);  // refused: search again
  PoolFree(pixels);
  EXPECT_EQ(ArchiveCopyPNGImage(archive_, "short.png", &pixels, &size, nullptr, TRUE), 1u);
  EXPECT_EQ(ArchiveCopyPNGImage(archive_, "junk.png", &pixels, &size, nullptr, TRUE), 1u);
  EXPECT_NE(CapturedLog().find("No supported protocol was found!"), std::string::npos);
}

TEST_F(ArchiveImageTest, ViewsAreMadeFromPicturesAndSwappedOnlyForTheSameSize) {
  Open({{"up.png", Picture('N', 3, 2, kRed)}, {"down.png", Picture('N', 3, 2, kSeeThrough)},
        {"big.png", Picture('N', 4, 4, kRed)}});
  DUView* view = ArchiveViewCreateWithOptions(archive_, "up.png");
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(DURectEqual(view->frame, DURectMake(0, 0, 2, 3)));
  EXPECT_EQ(view->pixels[0], kRed);
  EXPECT_EQ(ArchiveViewSwapWithImage(archive_, view, "down.png"), 0u);
  EXPECT_EQ(view->pixels[5], kSeeThrough);
  EXPECT_EQ(ArchiveViewSwapWithImage(archive_, view, "big.png"), 1u);
  EXPECT_EQ(ArchiveViewCreateWithOptions(archive_, "missing.png"), nullptr);
  EXPECT_NE(CapturedLog().find("ArchiveCopyPNGImage failed for file: missing.png"), std::string::npos);
  DUView* list[] = {view, nullptr, kLWViewListEnd};
  EXPECT_EQ(LWSetViewsToVisible(list, FALSE, "test"), EFI_SUCCESS);
  EXPECT_FALSE(view->visible);
  DUViewDestroy(view);
}

TEST_F(ArchiveImageTest, FirmwarePicturesAreEnlargedOnlyWhenBothScalesAsk) {
  std::string picture = Picture('N', 2, 2, kRed);
  DUPixel* pixels = nullptr;
  DUSize size{};
  ASSERT_EQ(DecodeFirmwarePicture(picture.data(), picture.size(), &pixels, &size, nullptr, 2), 0u);
  EXPECT_EQ(size.width, 2);  // drawing scale 1
  PoolFree(pixels);
  DUSetScale(2);
  ASSERT_EQ(DecodeFirmwarePicture(picture.data(), picture.size(), &pixels, &size, nullptr, 1), 0u);
  EXPECT_EQ(size.width, 2);  // the scaled variant was found already
  PoolFree(pixels);
  ASSERT_EQ(DecodeFirmwarePicture(picture.data(), picture.size(), &pixels, &size, nullptr, 2), 0u);
  EXPECT_EQ(size.width, 4);
  EXPECT_EQ(size.height, 4);
  PoolFree(pixels);
  DUSetScale(1);
}

}  // namespace
