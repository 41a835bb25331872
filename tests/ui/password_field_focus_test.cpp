// The focused password field on a screen: key events from the input-event protocol reach
// it through the screen's responders and the run loop; the caret blinks every 575 ms on the
// simulated clock and starts over with every key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "tests/ui/layout_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/event_protocol.h"
#include "ui/password_field.h"
#include "ui/responders.h"
#include "ui/run_loop.h"

namespace {

constexpr UINT16 Key(UINT16 usage) { return UINT16(0x7000 + usage); }
constexpr UINT16 kA = 0x04, kB = 0x05, kBackspace = 0x2A;
constexpr UINT8 kLeftShift = 0x02;

class FocusedFieldTest : public ::testing::Test, public LoggedTest {
 protected:
  void SetUp() override {
    UchrLayout compiled;
    std::string error;
    ASSERT_TRUE(CompileUchrFromXkb(UchrXkbSource{"us", ""}, &compiled, &error)) << error;
    bytes_ = LayoutBytes(compiled);
    layout_ = EFIKeyLayout{bytes_.data(), bytes_.size()};
    events_.Install();  // the firmware's own instance: Fire delivers at once
    ASSERT_EQ(InstallTarnEventProtocol(fw.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
    for (DUPixel& p : dot_) p = DUColorMake(0, 0, 0, 0);
    pictures_.dot = UIPicture{dot_, DUSize{4, 4}};
    ASSERT_EQ(UIPasswordTextFieldCreate(&field_, DURect{10, 5, 20, 100}, pictures_, &layout_, FALSE), 0u);
    ASSERT_EQ(DUScreenAddView(screen_, field_), EFI_SUCCESS);
  }
  void TearDown() override {
    EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    EXPECT_EQ(events_.LiveHandlers(), 0u);
    RemoveTarnEventProtocol();
    Drain();  // deferrals left behind by destroyed views run harmlessly
    EXPECT_EQ(fw.LiveEvents(), 0u);
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  void Press(UINT16 usage, UINT8 modifiers = 0) {
    TarnEventKeyData data{modifiers, 1, 0, Key(usage)};
    events_.Fire(kTarnEventKeyPressed, reinterpret_cast<UINT64>(&data), modifiers);
  }
  // Runs what waits in the run loop.
  void Drain() {
    RunLoop* loop = RunLoopGetCurrent();
    ASSERT_EQ(RunLoopExit(), 0);
    ASSERT_EQ(RunLoopRun(loop), 0);
  }
  std::u16string Text() { return UIPasswordTextFieldGetText(field_, kUIRenderingType46); }
  UIPasswordTextField* Field() { return static_cast<UIPasswordTextField*>(field_->user_data); }
  bool CaretLit() { return (Field()->flags & kUIFieldCaretVisible) != 0; }
  // The caret's column after n dots (4 wide, 2 apart), in screen pixels.
  DUPixel ScreenAtCaret(int n) { return display_.Pixel(10 + 6 * n, 5); }

  MemoryGraphicsOutput display_{160, 40, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents events_{7};
  std::vector<uint8_t> bytes_;
  EFIKeyLayout layout_{};
  DUPixel dot_[16];
  UIPasswordFieldPictures pictures_{};
  DUScreen* screen_ = nullptr;
  DUView* field_ = nullptr;
};

TEST_F(FocusedFieldTest, KeysReachOnlyTheFocusedFieldThroughTheRunLoop) {
  Press(kA);
  Drain();
  EXPECT_EQ(Text(), u"");  // not focused: not registered
  EXPECT_EQ(events_.LiveHandlers(), 0u);

  UIPasswordTextFieldSetFocus(field_, TRUE, TRUE);
  ASSERT_NE(DUScreenResponderOfView(screen_, field_), nullptr);
  EXPECT_EQ(DUScreenResponderOfView(screen_, field_)->mask, kUIPasswordFieldEventMask);
  Press(kA);
  Press(kB, kLeftShift);
  events_.Fire(kTarnEventPointerButton, 0x28);  // outside the mask
  events_.Fire(kTarnEventModifiersPressed, 0, kLeftShift);  // in the mask, but no key
  EXPECT_EQ(Text(), u"");  // the notification only queued the keys
  Drain();
  EXPECT_EQ(Text(), u"aB");
  EXPECT_EQ(UIPasswordTextFieldGetText(field_, kUIRenderingType45), std::u16string(u"aB"));
  EXPECT_EQ(UIPasswordTextFieldGetText(field_, kUIRenderingType47), std::u16string(u"aB"));
  // The screen was drawn with the caret after the two dots.
  EXPECT_EQ(ScreenAtCaret(2), DUColorMake(100, 100, 100, 0));
  Press(kBackspace);
  Drain();
  EXPECT_EQ(Text(), u"a");

  UIPasswordTextFieldSetFocus(field_, FALSE, TRUE);
  EXPECT_EQ(DUScreenResponderOfView(screen_, field_), nullptr);
  EXPECT_EQ(events_.LiveHandlers(), 0u);  // the last responder took the screen off the protocol
  Press(kA);
  Drain();
  EXPECT_EQ(Text(), u"a");
}

TEST_F(FocusedFieldTest, CapsLockComesFromTheInputEventProtocol) {
  DUPixel red[16];
  for (DUPixel& p : red) p = DUColorMake(255, 0, 0, 0);
  Field()->pictures.caps_lock = UIPicture{red, DUSize{4, 4}};
  UIPasswordTextFieldSetFocus(field_, TRUE, FALSE);
  events_.SetCapsLock(true);
  Press(kA);
  Drain();
  EXPECT_EQ(Text(), u"A");
  // The indicator at width - 16, y = (20 - 4) / 2 + 1 of the field.
  EXPECT_EQ(field_->pixels[9 * 100 + 84], DUColorMake(255, 0, 0, 0));
  events_.SetCapsLock(false);
  Press(kA);
  Drain();
  EXPECT_EQ(Text(), u"Aa");
  EXPECT_NE(field_->pixels[9 * 100 + 84], DUColorMake(255, 0, 0, 0));
}

TEST_F(FocusedFieldTest, TheCaretBlinksEvery575MillisecondsAndStartsOverWithAKey) {
  UIPasswordTextFieldSetFocus(field_, TRUE, TRUE);
  EXPECT_TRUE(CaretLit());
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod - 1);
  Drain();
  EXPECT_TRUE(CaretLit());
  fw.Advance100ns(1);
  EXPECT_TRUE(CaretLit());  // the timer only queued the blink
  Drain();
  EXPECT_FALSE(CaretLit());
  EXPECT_NE(ScreenAtCaret(0), DUColorMake(100, 100, 100, 0));
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod);
  Drain();
  EXPECT_TRUE(CaretLit());
  EXPECT_EQ(ScreenAtCaret(0), DUColorMake(100, 100, 100, 0));

  // Half a period in, a key lights the caret and the next blink is a full period away.
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod / 2);
  Drain();
  Press(kA);
  Drain();
  EXPECT_TRUE(CaretLit());
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod * 3 / 4);
  Drain();
  EXPECT_TRUE(CaretLit());
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod / 4);
  Drain();
  EXPECT_FALSE(CaretLit());

  // Blinks that pile up while the run loop is busy wait as one.
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod * 5);
  EXPECT_EQ(RunLoopGetCurrent()->numberOfFunctions, 1);
  Drain();

  // Unfocused: the timer is gone and the caret stays dark.
  UIPasswordTextFieldSetFocus(field_, FALSE, TRUE);
  size_t events = fw.LiveEvents();
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod * 2);
  Drain();
  EXPECT_FALSE(CaretLit());
  UIPasswordTextFieldSetFocus(field_, TRUE, FALSE);
  EXPECT_EQ(fw.LiveEvents(), events + 1);
}

TEST_F(FocusedFieldTest, AFieldDestroyedWithKeysAndBlinksQueuedIsNotReached) {
  UIPasswordTextFieldSetFocus(field_, TRUE, FALSE);
  Press(kA);
  fw.Advance100ns(kUIPasswordFieldBlinkPeriod);
  EXPECT_EQ(RunLoopGetCurrent()->numberOfFunctions, 2);
  ASSERT_EQ(DUScreenRemoveView(screen_, field_), EFI_SUCCESS);  // destroys it
  EXPECT_EQ(events_.LiveHandlers(), 0u);
  Drain();  // under ASan: a freed field would be touched here
}

TEST_F(FocusedFieldTest, FocusWithoutAScreenOrARegistrationIsLoggedAndTheFieldStaysUsable) {
  DUView* loose = nullptr;
  ASSERT_EQ(UIPasswordTextFieldCreate(&loose, DURect{0, 0, 20, 100}, pictures_, &layout_, FALSE), 0u);
  UIPasswordTextFieldSetFocus(loose, TRUE, FALSE);
  EXPECT_NE(LogText().find("textField->screen is NULL"), std::string::npos);
  EXPECT_TRUE(UIPasswordTextFieldIsFocused(loose));
  UIPasswordTextFieldHandleKey(loose, Key(kA), 0, FALSE);
  EXPECT_EQ(std::u16string(UIPasswordTextFieldGetText(loose, kUIRenderingType46)), u"a");
  UIPasswordTextFieldSetFocus(loose, FALSE, FALSE);
  EXPECT_EQ(DUViewDestroy(loose), EFI_SUCCESS);

  fw.FailNthPoolAllocation(1);  // the screen's first responder record
  UIPasswordTextFieldSetFocus(field_, TRUE, FALSE);
  EXPECT_NE(LogText().find("DUScreenRegisterResponder failed!"), std::string::npos);
  UIPasswordTextFieldSetFocus(field_, FALSE, FALSE);
}

}  // namespace
