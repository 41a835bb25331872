// The font archive the build renders ("Lucida13.efires") read back through hearth: the
// password field's glyph mode draws its pictures, "@2x" on HiDPI screens, "?.png" for
// characters it lacks; and every character a shipped keyboard layout types has a picture.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "draw/display.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_image_codec.h"
#include "tests/required_tool.h"
#include "tests/ui/layout_test_support.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/archive.h"
#include "ui/archive_image.h"
#include "ui/glyph_cache.h"
#include "ui/password_field.h"
#include "ui/text_input.h"

namespace {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

constexpr DUPixel kWhite = DUColorMake(255, 255, 255, 0);
constexpr UINT8 Red(DUPixel p) { return UINT8(p >> 16); }
constexpr UINT8 Blue(DUPixel p) { return UINT8(p); }
constexpr UINT32 Key(UINT32 usage) { return 0x7000 + usage; }
constexpr UINT32 kP = 0x13, kA = 0x04, kS = 0x16;
constexpr UINT8 kShift = 0x02;

class GlyphArchiveTest : public ::testing::Test, public LoggedTest {
 protected:
  void SetUp() override {
    bytes_ = ReadFile(HEARTH_TEST_GLYPH_ARCHIVE);
    REQUIRE_TOOL(!bytes_.empty(), std::string("the build's glyph archive is missing: ") + HEARTH_TEST_GLYPH_ARCHIVE);
    ASSERT_EQ(ArchiveCreate(bytes_.data(), bytes_.size(), &archive_), kArchiveOk);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(UIGlyphCacheCreate(archive_, &cache_), 0u);
    UchrLayout compiled;
    std::string error;
    ASSERT_TRUE(CompileUchrFromXkb(UchrXkbSource{"us", ""}, &compiled, &error)) << error;
    layout_bytes_ = LayoutBytes(compiled);
    layout_ = EFIKeyLayout{layout_bytes_.data(), layout_bytes_.size()};
    gUIPasswordFieldBackground = kWhite;
  }
  void TearDown() override {
    if (field_) DUViewDestroy(field_);
    UIGlyphCacheDestroy(cache_);
    ArchiveDestroy(archive_);
    DUSetScale(1);
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  void MakeField(INT32 scale) {
    UIPasswordFieldPictures pictures{};
    pictures.glyphs = UIGlyphCacheSource(cache_);
    ASSERT_EQ(UIPasswordTextFieldCreate(&field_, DURect{0, 0, 17 * scale, 200 * scale}, pictures, &layout_, FALSE), 0u);
    UIPasswordTextFieldSetShowGlyphs(field_, TRUE);
  }
  DUSize PictureSize(const char* name) {
    DUPixel* pixels = nullptr;
    DUSize size{};
    UINTN bytes = 0;
    EXPECT_EQ(ArchiveCopyPNGImage(archive_, name, &pixels, &size, &bytes, TRUE), 0u) << name;
    PoolFree(pixels);
    return size;
  }
  UIPasswordTextField* Field() { return static_cast<UIPasswordTextField*>(field_->user_data); }
  // Columns [from, to) of the field that hold anything but the background.
  int InkedColumns(INT32 from, INT32 to) {
    int inked = 0;
    for (INT32 x = from; x < to; ++x) {
      for (INT32 y = 0; y < field_->content_size.height; ++y) {
        if (field_->pixels[y * field_->content_size.width + x] != kWhite) {
          ++inked;
          break;
        }
      }
    }
    return inked;
  }

  MemoryGraphicsOutput display_{64, 48, MemoryGraphicsOutput::kUnwritten};
  MemoryImageCodec codec_{fw};
  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> layout_bytes_;
  EFIKeyLayout layout_{};
  Archive* archive_ = nullptr;
  UIGlyphCache* cache_ = nullptr;
  DUView* field_ = nullptr;
};

TEST_F(GlyphArchiveTest, TheFieldDrawsTheArchivesGlyphsSideBySide) {
  MakeField(1);
  UIPasswordTextFieldHandleKey(field_, Key(kP), kShift, FALSE);
  UIPasswordTextFieldHandleKey(field_, Key(kA), 0, FALSE);
  UIPasswordTextFieldHandleKey(field_, Key(kS), 0, FALSE);
  DUSize p = PictureSize("80.png"), a = PictureSize("97.png"), s = PictureSize("115.png");
  EXPECT_EQ(p.height, 17);
  EXPECT_EQ(a.height, 17);
  EXPECT_GT(a.width, 3);
  EXPECT_EQ(_UIPasswordTextField_WidthForCharactersUpToIndex(Field(), 3), p.width + a.width + s.width);
  // Each glyph inks its own columns, dark on the field's white; nothing beyond the text.
  EXPECT_GE(InkedColumns(0, p.width), 3);
  EXPECT_GE(InkedColumns(p.width, p.width + a.width), 3);
  INT32 end = p.width + a.width + s.width;
  EXPECT_EQ(InkedColumns(end + 2, 200), 0);
  DUPixel darkest = kWhite;
  for (INT32 i = 0; i < 17 * 200; ++i) {
    if (Red(field_->pixels[i]) < Red(darkest)) darkest = field_->pixels[i];
  }
  EXPECT_LT(Red(darkest), 80);  // the text colour 262626, anti-aliased towards white

  // Each picture was decoded once, however often the field was drawn and measured.
  int decoded = MemoryImageCodec::decodes;
  _UIPasswordTextFieldDrawInBuffer(Field());
  _UIPasswordTextFieldDrawInBuffer(Field());
  EXPECT_EQ(MemoryImageCodec::decodes, decoded);
  EXPECT_LE(decoded, 3 + 3);  // p, a, s for the field and the three sizes asked above

  // Selected text comes from the _sel pictures: white on the selection colour.
  UIPasswordTextFieldSelectAll(field_);
  DUPixel corner = field_->pixels[0];
  EXPECT_NE(corner, kWhite);
  EXPECT_GT(Blue(corner), Red(corner));
}

TEST_F(GlyphArchiveTest, HiDPIUsesThe2xPicturesAndUnknownCharactersTheQuestionMark) {
  ASSERT_EQ(DUSetScale(2), EFI_SUCCESS);
  MakeField(2);
  UIPasswordTextFieldHandleKey(field_, Key(kA), 0, FALSE);
  CHAR16 han = 0x4E2D;  // no picture in the archive
  EFITextInputInsert(Field()->inputs[kUIRenderingType46], &han, 1);
  ASSERT_EQ(DUSetScale(1), EFI_SUCCESS);
  DUSize a1 = PictureSize("97.png"), q1 = PictureSize("?.png");
  ASSERT_EQ(DUSetScale(2), EFI_SUCCESS);
  DUSize a2 = PictureSize("97.png");
  EXPECT_EQ(a2.width, 2 * a1.width);
  EXPECT_EQ(a2.height, 34);
  EXPECT_EQ(_UIPasswordTextField_WidthForCharactersUpToIndex(Field(), 2), 2 * (a1.width + q1.width));
  _UIPasswordTextFieldDrawInBuffer(Field());
  EXPECT_GE(InkedColumns(2 * a1.width, 2 * (a1.width + q1.width)), 4);  // the question mark
}

// Every character a shipped layout types straight from a key (no dead key before it) has
// its picture, so a user of any of them sees glyphs rather than question marks.
TEST_F(GlyphArchiveTest, EveryCharacterTheShippedLayoutsTypeHasAPicture) {
  for (const UchrStandardLayout& standard : kUchrStandardLayouts) {
    std::vector<uint8_t> bytes = ReadFile(std::string(HEARTH_TEST_LAYOUT_DIR) + "/" + standard.xkb_layout + ".uchr");
    REQUIRE_TOOL(!bytes.empty(), std::string("the build's layout is missing: ") + standard.xkb_layout);
    std::set<UINT32> missing;
    for (UINT32 type : {45u, 46u, 47u}) {
      for (UINT32 modifiers : kUchrModifierCombinations) {
        for (UINT16 key = 0; key < 128; ++key) {
          Typed typed = TranslateKey(bytes, key, modifiers, 0, kEFIKeyActionDown, type,
                                     kEFIKeyTranslateNoDeadKeys);
          if (typed.result != 0 || typed.text.size() != 1) continue;
          CHAR16 unit = typed.text[0];
          if (unit < 0x20 || unit == 0x7F || (unit >= 0xD800 && unit <= 0xDFFF)) continue;
          std::string name = std::to_string(unit) + ".png";
          const void* data = nullptr;
          if (ArchiveGetData(archive_, name.c_str(), FALSE, &data, nullptr, FALSE) == kArchiveFileNotFound) {
            missing.insert(unit);
          }
        }
      }
    }
    std::string list;
    for (UINT32 unit : missing) list += " U+" + std::to_string(unit);
    EXPECT_TRUE(missing.empty()) << standard.xkb_layout << " types characters without a picture:" << list;
  }
}

}  // namespace
