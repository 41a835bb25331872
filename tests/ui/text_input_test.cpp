#include <gtest/gtest.h>

#include "tests/ui/layout_test_support.h"
#include "ui/text_input.h"

namespace {

// Keys 0..: printable letters, a surrogate pair, editing codes, and a dead key.
enum : UINT16 { kA, kB, kPair, kBackspace, kLeft, kRight, kStart, kEnd, kDelete, kReturn, kAcute, kTwo, kNul, kNulPair };

std::vector<uint8_t> EditingLayout() {
  UchrLayout layout;
  layout.table_size = 16;
  layout.modifier_tables = {0};
  size_t acute = layout.AddState(UchrStateRecord{0xFFFF, 1, {}});
  uint16_t pair = layout.ValueForText(u"\U0001F600");
  uint16_t two = layout.ValueForText(u"xy");
  uint16_t nul_pair = layout.ValueForText(std::u16string(u"z\0", 2));
  layout.keyboards = {UchrKeyboard{0, 255, {{u'a', u'b', pair, 8, 28, 29, 30, 31, 127, 13,
                                            UchrLayout::StateValue(acute), two, 0, nul_pair}}}};
  layout.terminators = {u'`'};
  return LayoutBytes(layout);
}

class TextInputTest : public ::testing::Test, public LoggedTest {
 protected:
  void Type(std::initializer_list<UINT16> keys) {
    for (UINT16 key : keys) ASSERT_EQ(EFITextInputAppend(input, &layout, key, 0, 0), 0);
  }
  std::u16string Text() const { return std::u16string(input->text); }
  std::vector<uint8_t> bytes = EditingLayout();
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  EFITextInput* input = EFITextInputCreate();
  ~TextInputTest() override { EFITextInputDestroy(input); }
};

TEST_F(TextInputTest, TypingEditingAndCursorMoves) {
  Type({kA, kB, kPair, kA});
  EXPECT_EQ(Text(), u"ab\U0001F600a");
  EXPECT_EQ(input->cursor, 5u);
  Type({kLeft, kLeft});  // over the pair in one step
  EXPECT_EQ(input->cursor, 2u);
  Type({kB});
  EXPECT_EQ(Text(), u"abb\U0001F600a");
  Type({kRight, kBackspace});  // the pair goes as a whole
  EXPECT_EQ(Text(), u"abba");
  EXPECT_EQ(input->cursor, 3u);
  Type({kStart, kLeft, kBackspace});  // nothing before the start
  EXPECT_EQ(input->cursor, 0u);
  EXPECT_EQ(Text(), u"abba");
  Type({kEnd, kRight});
  EXPECT_EQ(input->cursor, 4u);
  Type({kDelete, kReturn});  // ignored codes
  EXPECT_EQ(Text(), u"abba");
}

TEST_F(TextInputTest, DeadKeyTextIsKeptWhole) {
  // The terminator and the next key arrive together; both are typed, as the user sees them.
  Type({kAcute, kA});
  EXPECT_EQ(Text(), u"`a");
  Type({kTwo});
  EXPECT_EQ(Text(), u"`axy");
  EXPECT_EQ(input->cursor, 4u);
}

TEST_F(TextInputTest, NulFromALayoutNeverCutsTheText) {
  Type({kA, kNul, kB, kNulPair});
  EXPECT_EQ(Text(), u"abz");
  EXPECT_EQ(input->cursor, 3u);
  CHAR16 with_nul[2] = {u'x', 0};
  EXPECT_EQ(EFITextInputInsert(input, with_nul, 2), -1);
  EXPECT_EQ(Text(), u"abz");
}

TEST_F(TextInputTest, NeverHoldsMoreThan1023Units) {
  for (int i = 0; i < 1100; ++i) Type({kA});
  EXPECT_EQ(EFITextInputLength(input), kEFITextInputMaxLength);
  EXPECT_EQ(input->cursor, kEFITextInputMaxLength);
  CHAR16 two[2] = {u'x', u'y'};
  input->text[1022] = 0;
  input->cursor = 1022;
  EXPECT_EQ(EFITextInputInsert(input, two, 2), -1);
  EXPECT_EQ(EFITextInputInsert(input, two, 1), 0);
  EXPECT_EQ(input->text[1023], 0);
}

TEST_F(TextInputTest, CharacterCountAndNonPrintingCodes) {
  const CHAR16 text[] = u"a\U0001F600b";
  EXPECT_EQ(EFITextInputCharacterCount(text, 100), 3u);
  EXPECT_EQ(EFITextInputCharacterCount(text, 3), 2u);  // the cursor after the pair
  EXPECT_EQ(EFITextInputCharacterCount(text, 2), 2u);  // a limit inside the pair
  EXPECT_EQ(EFITextInputCharacterCount(text, 0), 0u);
  for (CHAR16 unit = 0; unit < 256; ++unit) {
    bool expected = unit == 127 || unit == 1 || unit == 3 || unit == 4 || unit == 8 || unit == 9 || unit == 11 ||
                    unit == 12 || unit == 13 || unit == 16 || (unit >= 27 && unit <= 31);
    EXPECT_EQ(IsNonPrintingCharacter(unit), expected) << static_cast<int>(unit);
  }
}

TEST_F(TextInputTest, ClearWipesAndMissingLayoutIsLogged) {
  Type({kA, kAcute});
  EFITextInputClear(input);
  EXPECT_EQ(Text(), u"");
  EXPECT_EQ(input->cursor, 0u);
  EXPECT_EQ(input->dead_key_state, 0u);
  EXPECT_EQ(EFITextInputAppend(input, nullptr, kA, 0, 0), -1);
  EXPECT_NE(LogText().find("layout is NULL: Impossible to append any input!"), std::string::npos);
  std::vector<uint8_t> broken = bytes;
  broken[0] = 0;
  EFIKeyLayout bad{broken.data(), broken.size()};
  EXPECT_EQ(EFITextInputAppend(input, &bad, kA, 0, 0), -1);
  EXPECT_NE(LogText().find("EFIKeyTranslate returned -1"), std::string::npos);
}

}  // namespace
