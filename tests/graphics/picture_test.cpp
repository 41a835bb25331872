// Embedded pictures: names, decoding of both compressions, broken records and the blend.
#include "tests/graphics/test_pictures.h"

#include "memory/memory.h"

namespace {

TEST(EmbeddedPictureName, BlackAndTwoXFollowTheBaseName) {
  struct Case {
    bool black, hidpi;
    const char* name;
  } cases[] = {{false, false, "TarnLogo"}, {true, false, "TarnLogoBlack"}, {false, true, "TarnLogo2X"},
               {true, true, "TarnLogoBlack2X"}};
  for (const Case& c : cases) {
    char name[32];
    ASSERT_EQ(EmbeddedPictureName("TarnLogo", c.black, c.hidpi, name, sizeof(name)), EFI_SUCCESS);
    EXPECT_STREQ(name, c.name);
  }
  char small[15];  // "TarnLogoBlack2X" needs 16
  EXPECT_EQ(EmbeddedPictureName("TarnLogo", true, true, small, sizeof(small)), EFI_BUFFER_TOO_SMALL);
}

TEST(EmbeddedPictureList, CompiledInListHasEveryNameTheBootScreenAsksFor) {
  TestFirmware fw;
  const char* bases[] = {"TarnLogo", "CircleSlash", "NetBoot", "PanicDialog"};
  for (const char* base : bases) {
    for (int variant = 0; variant < 4; ++variant) {
      char name[32];
      ASSERT_EQ(EmbeddedPictureName(base, variant & 1, variant & 2, name, sizeof(name)), EFI_SUCCESS);
      const EmbeddedPicture* record = FindEmbeddedPicture(name);
      ASSERT_NE(record, nullptr) << name;
      Picture picture{};
      EXPECT_EQ(DecodeEmbeddedPicture(record, &picture), EFI_SUCCESS) << name;
      EXPECT_EQ(picture.width, record->width);
      PictureFree(&picture);
    }
  }
  // The failed-boot signs go to the kernel as stored, so they must stay LZSS.
  EXPECT_EQ(FindEmbeddedPicture("CircleSlash")->compression, kEmbeddedPictureLzss);
  EXPECT_EQ(FindEmbeddedPicture("NoSuchPicture"), nullptr);
}

class DecodeTest : public ::testing::TestWithParam<uint32_t> {
 protected:
  TestFirmware fw_;
  TestPictureList list_;
};

TEST_P(DecodeTest, IndicesBecomeTableColoursWithOpacity) {
  TestPictureList::Spec spec{"P", 3, 2, GetParam(), {0, 1, 2, 2, 1, 0}, {255, 128, 0, 1, 2, 3},
                             {10, 20, 30, 40, 50, 60, 70, 80, 90}};
  Picture picture{};
  ASSERT_EQ(DecodeEmbeddedPicture(list_.Add(spec), &picture), EFI_SUCCESS);
  ASSERT_EQ(picture.width, 3u);
  ASSERT_EQ(picture.height, 2u);
  EXPECT_EQ(picture.pixels[0].Red, 10);
  EXPECT_EQ(picture.pixels[0].Green, 20);
  EXPECT_EQ(picture.pixels[0].Blue, 30);
  EXPECT_EQ(picture.pixels[0].Reserved, 255);
  EXPECT_EQ(picture.pixels[1].Red, 40);
  EXPECT_EQ(picture.pixels[1].Reserved, 128);
  EXPECT_EQ(picture.pixels[5].Blue, 30);
  EXPECT_EQ(picture.pixels[5].Reserved, 3);
  PictureFree(&picture);

  spec.opacity.clear();
  ASSERT_EQ(DecodeEmbeddedPicture(list_.Add(spec), &picture), EFI_SUCCESS);
  EXPECT_EQ(picture.pixels[3].Reserved, 255);  // no plane: opaque
  PictureFree(&picture);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST_P(DecodeTest, BrokenRecordsFailWithoutLeaks) {
  auto good = [&] {
    return TestPictureList::Spec{"P", 4, 4, GetParam(), std::vector<uint8_t>(16, 1), {}, {1, 2, 3, 4, 5, 6}};
  };
  std::vector<TestPictureList::Spec> broken;
  auto s = good();
  s.indices.resize(15);  // one byte short
  broken.push_back(s);
  s = good();
  s.indices.resize(17);  // one byte too many
  broken.push_back(s);
  s = good();
  s.indices[7] = 2;  // only two colour entries
  broken.push_back(s);
  s = good();
  s.opacity.assign(12, 255);  // opacity plane short
  broken.push_back(s);
  for (const auto& spec : broken) {
    Picture picture{};
    EXPECT_EQ(DecodeEmbeddedPicture(list_.Add(spec), &picture), EFI_LOAD_ERROR);
    EXPECT_EQ(picture.pixels, nullptr);
  }
  EmbeddedPicture truncated = *list_.Add(good());
  truncated.pixels_length /= 2;
  Picture picture{};
  EXPECT_EQ(DecodeEmbeddedPicture(&truncated, &picture), EFI_LOAD_ERROR);
  truncated.compression = 7;
  EXPECT_EQ(DecodeEmbeddedPicture(&truncated, &picture), EFI_LOAD_ERROR);
  EXPECT_EQ(DecodeEmbeddedPicture(nullptr, &picture), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DecodeEmbeddedPicture(list_.Head(), nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST_P(DecodeTest, OutOfMemoryIsReported) {
  const EmbeddedPicture* record = list_.Add(TestPictureList::Solid("P", 8, 8, 0x112233, GetParam()));
  Picture picture{};
  ASSERT_EQ(DecodeEmbeddedPicture(record, &picture), EFI_SUCCESS);  // the tracker has its tags now
  PictureFree(&picture);
  for (int nth : {1, 2}) {  // the index plane, then the pixels
    fw_.FailNthPoolAllocation(nth);
    EXPECT_EQ(DecodeEmbeddedPicture(record, &picture), EFI_OUT_OF_RESOURCES);
  }
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothCompressions, DecodeTest,
                         ::testing::Values(kEmbeddedPictureLzss, kEmbeddedPictureLzvn));

TEST(LayOverBackground, OpaqueIsTheColourTransparentIsTheBackgroundBetweenRounds) {
  TestFirmware fw;
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL pixels[4] = {
      {200, 100, 50, 255}, {200, 100, 50, 0}, {200, 100, 50, 128}, {255, 255, 255, 255}};
  Picture picture{pixels, 4, 1};
  LayOverBackground(&picture, 0x00102030);  // red 0x10, green 0x20, blue 0x30
  EXPECT_EQ(pixels[0].Blue, 200);
  EXPECT_EQ(pixels[0].Green, 100);
  EXPECT_EQ(pixels[0].Red, 50);
  EXPECT_EQ(pixels[1].Blue, 0x30);
  EXPECT_EQ(pixels[1].Green, 0x20);
  EXPECT_EQ(pixels[1].Red, 0x10);
  EXPECT_EQ(pixels[2].Red, (0x10 * 127 + 50 * 128 + 127) / 255);
  EXPECT_EQ(pixels[2].Green, (0x20 * 127 + 100 * 128 + 127) / 255);
  EXPECT_EQ(pixels[3].Blue, 255);  // white stays white
  for (const auto& p : pixels) EXPECT_EQ(p.Reserved, 255);
}

}  // namespace
