#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "draw/view.h"
#include "tests/ui/layout_test_support.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/password_field.h"

namespace {

constexpr UINT32 Key(UINT32 usage) { return 0x7000 + usage; }
constexpr UINT32 kA = 0x04, kC = 0x06, kQ = 0x14, kOne = 0x1E, kMinus = 0x2D, kGrave = 0x35, kBackspace = 0x2A,
                 kLeft = 0x50, kIso = 0x64;
constexpr UINT8 kShift = 0x02, kCommand = 0x08;

constexpr DUPixel kBlack = DUColorMake(0, 0, 0, 0);
constexpr DUPixel kRed = DUColorMake(255, 0, 0, 0);
constexpr DUPixel kWhite = DUColorMake(255, 255, 255, 0);

// Keys at the grave and ISO positions type differently per keyboard record, so that the
// three renderings can be told apart: ANSI and ISO share one table, JIS has its own.
std::vector<uint8_t> RenderingLayout() {
  UchrLayout layout;
  layout.modifier_tables = {0, 0, 0, 0};
  std::vector<uint16_t> table(128, 0xFFFF);
  table[0] = u'a';
  table[8] = u'c';
  table[50] = u'g';  // grave position on ANSI, ISO key on ISO
  table[10] = u'i';  // ISO key on ANSI, grave position on ISO
  std::vector<uint16_t> jis = table;
  jis[50] = u'j';
  layout.keyboards = {UchrKeyboard{0, 255, {table}}, UchrKeyboard{206, 206, {jis}}};
  return LayoutBytes(layout);
}

std::vector<uint8_t> UsLayout() {
  UchrLayout layout;
  std::string error;
  if (!CompileUchrFromXkb(UchrXkbSource{"us", ""}, &layout, &error)) return {};
  return LayoutBytes(layout);
}

std::vector<uint8_t> GermanLayout() {
  UchrLayout layout;
  std::string error;
  if (!CompileUchrFromXkb(UchrXkbSource{"de", ""}, &layout, &error)) return {};
  return LayoutBytes(layout);
}

std::u16string Text(DUView* view, UIPasswordRendering r) { return UIPasswordTextFieldGetText(view, r); }

struct Callback {
  int calls = 0;
  std::vector<bool> changed;
  static void Hear(DUView* view, void* context) {
    auto* self = static_cast<Callback*>(context);
    ++self->calls;
    self->changed.push_back(UIPasswordTextFieldTextChanged(view));
  }
};

class PasswordFieldTest : public ::testing::Test, public LoggedTest {
 protected:
  DUView* Make(const std::vector<uint8_t>& layout_bytes, DURect frame = DURect{0, 0, 20, 100}) {
    layout = EFIKeyLayout{layout_bytes.data(), layout_bytes.size()};
    pictures.dot = UIPicture{dot, DUSize{4, 4}};
    pictures.caps_lock = UIPicture{caps, DUSize{4, 4}};
    DUView* view = nullptr;
    EXPECT_EQ(UIPasswordTextFieldCreate(&view, frame, pictures, &layout, FALSE), 0u);
    UIPasswordTextFieldSetTextChangedCallback(view, Callback::Hear, &heard);
    return view;
  }
  void Type(DUView* view, std::initializer_list<UINT32> usages, UINT8 modifiers = 0) {
    for (UINT32 usage : usages) UIPasswordTextFieldHandleKey(view, Key(usage), modifiers, FALSE);
  }
  DUPixel At(DUView* view, INT32 x, INT32 y) { return view->pixels[y * view->content_size.width + x]; }
  ~PasswordFieldTest() override {
    for (DUView* v : views) DUViewDestroy(v);
  }

  EFIKeyLayout layout{};
  UIPasswordFieldPictures pictures{};
  DUPixel dot[16];
  DUPixel caps[16];
  Callback heard;
  std::vector<DUView*> views;
  void SetUp() override {
    for (DUPixel& p : dot) p = kBlack;
    for (DUPixel& p : caps) p = kRed;
    gUIPasswordFieldBackground = kWhite;
  }
};

TEST_F(PasswordFieldTest, EveryKeyGoesToThreeRenderings) {
  auto bytes = RenderingLayout();
  DUView* view = Make(bytes);
  views.push_back(view);
  EXPECT_TRUE(UIPasswordTextFieldIsEmpty(view));
  Type(view, {kA, kGrave, kIso});
  EXPECT_EQ(Text(view, kUIRenderingType46), u"agi");
  EXPECT_EQ(Text(view, kUIRenderingType47), u"aig");
  EXPECT_EQ(Text(view, kUIRenderingType45), u"aji");
  EXPECT_FALSE(UIPasswordTextFieldIsEmpty(view));
  EXPECT_EQ(heard.calls, 3);
  EXPECT_EQ(heard.changed, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(UIPasswordTextFieldTextChanged(view));  // cleared after the callback

  // A key that changes nothing still reports, with the flag clear.
  Type(view, {kLeft});
  EXPECT_EQ(heard.calls, 4);
  EXPECT_FALSE(heard.changed.back());

  EXPECT_EQ(UIPasswordTextFieldZeroOut(view), 0u);
  EXPECT_TRUE(UIPasswordTextFieldIsEmpty(view));
  EXPECT_EQ(UIPasswordTextFieldZeroOut(nullptr), 1u);
  EXPECT_NE(LogText().find("textField is nil"), std::string::npos);
}

TEST_F(PasswordFieldTest, CommandASelectsAllAndTheNextKeyReplacesIt) {
  auto bytes = RenderingLayout();
  DUView* view = Make(bytes);
  views.push_back(view);
  Type(view, {kA, kGrave});
  Type(view, {kC}, kCommand);  // command with another letter: nothing
  EXPECT_EQ(Text(view, kUIRenderingType46), u"ag");
  int calls = heard.calls;
  Type(view, {kA}, kCommand);
  EXPECT_EQ(Text(view, kUIRenderingType46), u"ag");
  EXPECT_EQ(heard.calls, calls);  // command keys do not edit
  Type(view, {kC});
  EXPECT_EQ(Text(view, kUIRenderingType46), u"c");
  EXPECT_EQ(Text(view, kUIRenderingType47), u"c");
  EXPECT_EQ(Text(view, kUIRenderingType45), u"c");
}

TEST_F(PasswordFieldTest, RecoveryKeyAlphabetAndDashes) {
  auto bytes = UsLayout();
  ASSERT_FALSE(bytes.empty());
  DUView* view = Make(bytes);
  views.push_back(view);
  UIPasswordTextFieldSetRecoveryKeyFormat(view, TRUE);
  Type(view, {kA, kQ}, 0);  // lower case is refused
  EXPECT_EQ(Text(view, kUIRenderingType46), u"");
  for (int i = 0; i < 12; ++i) {
    Type(view, {kA}, kShift);
    Type(view, {kOne});
  }
  const std::u16string full = u"A1A1-A1A1-A1A1-A1A1-A1A1-A1A1";
  EXPECT_EQ(Text(view, kUIRenderingType46), full);
  EXPECT_EQ(Text(view, kUIRenderingType47), full);
  EXPECT_EQ(Text(view, kUIRenderingType45), full);
  Type(view, {kOne, kMinus});  // full
  EXPECT_EQ(Text(view, kUIRenderingType46), full);

  UIPasswordTextFieldZeroOut(view);
  Type(view, {kOne, kOne, kOne, kOne});
  EXPECT_EQ(Text(view, kUIRenderingType46), u"1111-");
  Type(view, {kMinus});  // a second dash in a row
  EXPECT_EQ(Text(view, kUIRenderingType46), u"1111-");
  Type(view, {kBackspace});  // the automatic dash and the character before it
  EXPECT_EQ(Text(view, kUIRenderingType46), u"111");
  Type(view, {kMinus, kOne});  // a dash typed by hand is kept
  EXPECT_EQ(Text(view, kUIRenderingType46), u"111-1");
}

TEST_F(PasswordFieldTest, RecoveryKeysIgnoreDeadKeys) {
  auto bytes = GermanLayout();
  ASSERT_FALSE(bytes.empty());
  DUView* view = Make(bytes);
  views.push_back(view);
  constexpr UINT32 kAcute = 0x2E, kE = 0x08;
  Type(view, {kAcute});
  Type(view, {kE}, kShift);
  EXPECT_EQ(Text(view, kUIRenderingType46), u"\u00C9");  // outside recovery mode the dead key composes
  UIPasswordTextFieldZeroOut(view);
  UIPasswordTextFieldSetRecoveryKeyFormat(view, TRUE);
  Type(view, {kAcute});
  Type(view, {kE}, kShift);
  EXPECT_EQ(Text(view, kUIRenderingType46), u"E");
  EXPECT_EQ(Text(view, kUIRenderingType47), u"E");
  EXPECT_EQ(Text(view, kUIRenderingType45), u"E");
}

TEST_F(PasswordFieldTest, DotsCaretAndCapsLockAreDrawn) {
  auto bytes = RenderingLayout();
  DUView* view = Make(bytes);
  views.push_back(view);
  UIPasswordTextFieldSetFocus(view, TRUE, FALSE);
  EXPECT_TRUE(UIPasswordTextFieldIsFocused(view));
  Type(view, {kA, kA, kA});
  // Dots 4 wide, 2 apart, centred: y = (20 - 4) / 2 + 1 = 9.
  for (INT32 x : {0, 6, 12}) EXPECT_EQ(At(view, x + 1, 10), kBlack) << x;
  EXPECT_EQ(At(view, 5, 10), kWhite);
  EXPECT_EQ(At(view, 19, 10), kWhite);
  // The caret after three dots: grey 100, 17 high.
  EXPECT_EQ(At(view, 18, 0), DUColorMake(100, 100, 100, 0));
  EXPECT_EQ(At(view, 18, 16), DUColorMake(100, 100, 100, 0));
  EXPECT_EQ(_UIPasswordTextField_WidthForCharactersUpToIndex(
                static_cast<UIPasswordTextField*>(view->user_data), 3), 18);
  EXPECT_EQ(_UIPasswordTextField_WidthForCharactersUpToIndex(
                static_cast<UIPasswordTextField*>(view->user_data), 4), -1);
  EXPECT_NE(LogText().find("(index:4 > textInputLength:3)"), std::string::npos);

  // Caps lock while focused: at width - 16, y = (20 - 4) / 2 + 1.
  UIPasswordTextFieldHandleKey(view, Key(kLeft), 0, TRUE);
  EXPECT_EQ(At(view, 100 - 16, 9), kRed);
  UIPasswordTextFieldSetHideCapsLockIndicator(view, TRUE);
  UIPasswordTextFieldHandleKey(view, Key(kLeft), 0, TRUE);
  EXPECT_EQ(At(view, 100 - 16, 9), kWhite);
  // This layout has no arrow keys: the caret stays after the text.
  EXPECT_EQ(At(view, 18, 0), DUColorMake(100, 100, 100, 0));

  // Unfocused: no caret; disabled: dots drawn see-through.
  UIPasswordTextFieldSetFocus(view, FALSE, TRUE);
  EXPECT_EQ(At(view, 18, 0), kWhite);
  UIPasswordTextFieldSetEnabled(view, FALSE);
  DUPixel faint = At(view, 1, 10);
  EXPECT_NE(faint, kBlack);
  EXPECT_NE(faint, kWhite);
}

TEST_F(PasswordFieldTest, SelectionCoversTheTextOnlyAndHidesTheCaret) {
  auto bytes = RenderingLayout();
  DUPixel blue[20 * 100];
  for (DUPixel& p : blue) p = DUColorMake(0, 0, 255, 0);
  pictures.selection = UIPicture{blue, DUSize{20, 100}};
  DUView* view = Make(bytes);
  views.push_back(view);
  UIPasswordTextFieldSetFocus(view, TRUE, FALSE);
  Type(view, {kA, kA});
  UIPasswordTextFieldSelectAll(view);
  // Two dots take 12 pixels: the selection colour there, the background after it, and no
  // caret at x = 12.
  EXPECT_EQ(At(view, 5, 0), DUColorMake(0, 0, 255, 0));
  EXPECT_EQ(At(view, 11, 19), DUColorMake(0, 0, 255, 0));
  EXPECT_EQ(At(view, 12, 0), kWhite);
  EXPECT_EQ(At(view, 1, 10), kBlack);  // the dots stay on top
  Type(view, {kC});  // replaces the selection: one dot, the caret after it
  EXPECT_EQ(At(view, 5, 0), kWhite);
  EXPECT_EQ(At(view, 6, 0), DUColorMake(100, 100, 100, 0));
}

bool Glyphs(void* context, const char* name, UIPicture* picture) {
  auto* asked = static_cast<std::vector<std::string>*>(context);
  asked->push_back(name);
  static const DUPixel question[6 * 3] = {};
  static const DUPixel a[5 * 3] = {};
  if (std::string(name) == "97.png") {
    *picture = UIPicture{a, DUSize{3, 5}};
    return true;
  }
  if (std::string(name) == "?.png") {
    *picture = UIPicture{question, DUSize{3, 6}};
    return true;
  }
  return false;
}

TEST_F(PasswordFieldTest, GlyphsFallBackToQuestionMark) {
  auto bytes = RenderingLayout();
  std::vector<std::string> asked;
  pictures.glyphs = UIGlyphSource{Glyphs, &asked};
  DUView* view = Make(bytes);
  views.push_back(view);
  UIPasswordTextFieldSetShowGlyphs(view, TRUE);
  Type(view, {kA, kC});
  auto* field = static_cast<UIPasswordTextField*>(view->user_data);
  EXPECT_EQ(_UIPasswordTextField_WidthForCharactersUpToIndex(field, 2), 5 + 6);
  EXPECT_NE(std::find(asked.begin(), asked.end(), "99.png"), asked.end());
  EXPECT_NE(std::find(asked.begin(), asked.end(), "?.png"), asked.end());
}

TEST_F(PasswordFieldTest, PlaceholderWhileEmptyAndWhiteCaret) {
  auto bytes = RenderingLayout();
  DUPixel placeholder[4 * 40];
  for (DUPixel& p : placeholder) p = kRed;
  pictures.placeholder = UIPicture{placeholder, DUSize{4, 40}};
  layout = EFIKeyLayout{bytes.data(), bytes.size()};
  pictures.dot = UIPicture{dot, DUSize{4, 4}};
  DUView* view = nullptr;
  ASSERT_EQ(UIPasswordTextFieldCreate(&view, DURect{0, 0, 20, 100}, pictures, &layout, TRUE), 0u);
  views.push_back(view);
  EXPECT_EQ(At(view, 0, 8), kRed);    // drawn from x = -20
  EXPECT_EQ(At(view, 19, 8), kRed);
  EXPECT_EQ(At(view, 20, 8), kWhite);
  UIPasswordTextFieldSetFocus(view, TRUE, FALSE);
  Type(view, {kA});
  EXPECT_EQ(At(view, 10, 8), kWhite);  // placeholder gone
  EXPECT_EQ(At(view, 6, 0), kWhite);   // white caret on a white background
  EXPECT_EQ(UIPasswordSetKeyboardLayout(view, nullptr), 1u);
  EXPECT_NE(LogText().find("keyboardLayout is NULL"), std::string::npos);
}

}  // namespace
