#include "ui/preferences.h"

#include <string>

#include "tests/ui/toy_picture_codec.h"
#include "tests/ui/widget_fixture.h"

namespace {

class PreferencesTest : public WidgetFixture {
 protected:
  void TearDown() override {
    SystemPreferencesDestroy(preferences_);
    ArchiveDestroy(outer_);
    WidgetFixture::TearDown();
  }
  void Open(const std::vector<RawRecord>& inner) {
    std::vector<uint8_t> bytes = RawArchive(inner);
    outer_bytes_ = RawArchive({{"other.png", "x"}, {"preferences.efires", std::string(bytes.begin(), bytes.end())}});
    ASSERT_EQ(ArchiveCreate(outer_bytes_.data(), outer_bytes_.size(), &outer_), kArchiveOk);
    ASSERT_EQ(SystemPreferencesCreate(&preferences_, outer_), 0u);
  }
  std::vector<uint8_t> outer_bytes_;
  Archive* outer_ = nullptr;
  SystemPreferences* preferences_ = nullptr;
};

TEST_F(PreferencesTest, DefaultsWhenTheValuesAreAbsent) {
  Open({{"unrelated.int32", std::string("\1\0\0\0", 4)}});
  EXPECT_TRUE(SystemPreferencesIsInputMenuEnabled(preferences_));
  EXPECT_FALSE(SystemPreferencesShowGuest(preferences_));
  EXPECT_EQ(SystemPreferencesCreateMessageRibbonView(preferences_), nullptr);
}

TEST_F(PreferencesTest, StoredValuesUseTheirFirstByte) {
  ToyPictureCodec codec;
  Open({{"preferences_isIMEnabled.int32", std::string("\0\1\1\1", 4)},
        {"preferences_showGuest.int32", std::string("\1\0\0\0", 4)},
        {"preferences_good_samaritan_message_ribbon.png", ToyPicture(3, 2, 0x00123456)}});
  EXPECT_FALSE(SystemPreferencesIsInputMenuEnabled(preferences_));
  EXPECT_TRUE(SystemPreferencesShowGuest(preferences_));
  DUView* ribbon = SystemPreferencesCreateMessageRibbonView(preferences_);
  ASSERT_NE(ribbon, nullptr);
  EXPECT_EQ(ribbon->frame.width, 3);
  EXPECT_EQ(ribbon->pixels[0], 0x00123456u);
  EXPECT_EQ(DUViewDestroy(ribbon), EFI_SUCCESS);
}

TEST_F(PreferencesTest, OddSizesAreLoggedAndUsedEmptyOnesFallBack) {
  Open({{"preferences_showGuest.int32", std::string("\1", 1)}, {"preferences_isIMEnabled.int32", ""}});
  EXPECT_TRUE(SystemPreferencesShowGuest(preferences_));
  EXPECT_NE(CapturedLog().find("Size of filename:preferences_showGuest.int32 is expected to be 4 bytes"), std::string::npos);
  EXPECT_TRUE(SystemPreferencesIsInputMenuEnabled(preferences_));
}

TEST_F(PreferencesTest, MissingArchiveOrOutput) {
  std::vector<uint8_t> bytes = RawArchive({{"a.png", "x"}});
  Archive* archive = nullptr;
  ASSERT_EQ(ArchiveCreate(bytes.data(), bytes.size(), &archive), kArchiveOk);
  SystemPreferences* p = nullptr;
  EXPECT_EQ(SystemPreferencesCreate(&p, archive), 1u);
  EXPECT_NE(CapturedLog().find("Could not load preferences.efires"), std::string::npos);
  EXPECT_EQ(SystemPreferencesCreate(nullptr, archive), 1u);
  EXPECT_NE(CapturedLog().find("sysPref is NULL"), std::string::npos);
  ArchiveDestroy(archive);
}

}  // namespace
