#include "ui/archive_button.h"

#include <string>

#include "tests/ui/toy_picture_codec.h"
#include "tests/ui/widget_fixture.h"

namespace {

class ArchiveButtonTest : public WidgetFixture {
 protected:
  void SetUp() override {
    WidgetFixture::SetUp();
    bytes_ = RawArchive({{"b_up.png", ToyPicture(4, 3, 1)}, {"b_sel.png", ToyPicture(4, 3, 2)},
                         {"b_down.png", ToyPicture(4, 3, 3)}, {"small.png", ToyPicture(2, 2, 4)}});
    ASSERT_EQ(ArchiveCreate(bytes_.data(), bytes_.size(), &archive_), kArchiveOk);
  }
  void TearDown() override {
    ArchiveDestroy(archive_);
    WidgetFixture::TearDown();
  }
  ToyPictureCodec codec_;
  std::vector<uint8_t> bytes_;
  Archive* archive_ = nullptr;
};

TEST_F(ArchiveButtonTest, ThreePicturesMakeAButtonThatClicks) {
  int clicks = 0;
  DUView* b = ArchiveButtonCreate(archive_, "b_up.png", "b_sel.png", "b_down.png",
                                  [](TarnEventRecord*, void* c) { ++*static_cast<int*>(c); }, &clicks);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->frame.width, 4);
  EXPECT_EQ(b->frame.height, 3);
  EXPECT_EQ(b->pixels[0], 1u);
  ASSERT_EQ(DUScreenAddView(screen_, b), EFI_SUCCESS);
  Down(1, 1);
  EXPECT_EQ(b->pixels[0], 3u);
  Up(1, 1);
  EXPECT_EQ(clicks, 1);
  ASSERT_EQ(UIButtonSetState(b, kUIButtonStateOn), EFI_SUCCESS);
  EXPECT_EQ(b->pixels[0], 2u);
}

TEST_F(ArchiveButtonTest, MissingOrMismatchedPicturesAreLogged) {
  EXPECT_EQ(ArchiveButtonCreate(archive_, "b_up.png", "nope.png", "b_down.png", nullptr, nullptr), nullptr);
  EXPECT_NE(CapturedLog().find("ArchiveCopyPNGImage failed for selectedImage: nope.png"), std::string::npos);
  EXPECT_EQ(ArchiveButtonCreate(archive_, "b_up.png", "b_sel.png", "small.png", nullptr, nullptr), nullptr);
  EXPECT_NE(CapturedLog().find("UIButtonCreateWithImageFiles failed to load ('b_up.png', 'b_sel.png', 'small.png')"),
            std::string::npos);
}

}  // namespace
