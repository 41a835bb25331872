#include "ui/button.h"

#include "tests/ui/widget_fixture.h"

namespace {

constexpr DUPixel kNormal = 0x00112233, kOn = 0x00445566, kPressed = 0x00778899;

void CountClick(TarnEventRecord*, void* context) { ++*static_cast<int*>(context); }

class ButtonTest : public WidgetFixture {
 protected:
  DUView* Button(DURect frame) {
    DUSize size{frame.height, frame.width};
    auto n = Solid(size, kNormal), o = Solid(size, kOn), p = Solid(size, kPressed);
    DUView* view = nullptr;
    EXPECT_EQ(UIButtonCreateWithImageBuffers(&view, n.data(), o.data(), p.data(), size, frame), EFI_SUCCESS);
    EXPECT_EQ(UIButtonSetClickCallback(view, CountClick, &clicks_), EFI_SUCCESS);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    return view;
  }
  DUPixel Shown(DUView* view) { return view->pixels[0]; }
  int clicks_ = 0;
};

TEST_F(ButtonTest, RefusesMissingPicturesAndSizeMismatch) {
  DUPixel pixel = 0;
  DUView* view = nullptr;
  EXPECT_EQ(UIButtonCreateWithImageBuffers(nullptr, &pixel, &pixel, &pixel, DUSize{1, 1}, DURectMake(0, 0, 1, 1)),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(UIButtonCreateWithImageBuffers(&view, &pixel, nullptr, &pixel, DUSize{1, 1}, DURectMake(0, 0, 1, 1)),
            EFI_INVALID_PARAMETER);
  EXPECT_EQ(UIButtonCreateWithImageBuffers(&view, &pixel, &pixel, &pixel, DUSize{1, 1}, DURectMake(0, 0, 2, 2)),
            EFI_INVALID_PARAMETER);
}

TEST_F(ButtonTest, PressShowsPressedPictureReleaseInsideClicksOnce) {
  DUView* b = Button(DURectMake(10, 10, 20, 40));
  EXPECT_EQ(Shown(b), kNormal);
  Down(15, 15);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStatePressed);
  EXPECT_EQ(Shown(b), kPressed);
  EXPECT_EQ(clicks_, 0);
  Move(100, 100);  // dragged out: back to the previous picture
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateNormal);
  Move(20, 20);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStatePressed);
  Up(20, 20);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateNormal);
  EXPECT_EQ(clicks_, 1);
  Up(20, 20);  // a stray release is not a click
  EXPECT_EQ(clicks_, 1);
}

TEST_F(ButtonTest, ReleaseOutsideDoesNotClickAndPressOutsideIsNotTaken) {
  DUView* b = Button(DURectMake(10, 10, 20, 40));
  Down(15, 15);
  Up(150, 100);
  EXPECT_EQ(clicks_, 0);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateNormal);
  Down(5, 5);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateNormal);
}

TEST_F(ButtonTest, ClickOnPressFiresOnDownOnly) {
  DUView* b = Button(DURectMake(10, 10, 20, 40));
  ASSERT_EQ(UIButtonSetClickOnPress(b, TRUE), EFI_SUCCESS);
  Down(15, 15);
  EXPECT_EQ(clicks_, 1);
  Up(15, 15);
  EXPECT_EQ(clicks_, 1);
}

TEST_F(ButtonTest, DoubleClickInsideClicks) {
  Button(DURectMake(10, 10, 20, 40));
  Pointer(kTarnPointerDoubleClick, 12, 12);
  EXPECT_EQ(clicks_, 1);
}

TEST_F(ButtonTest, KeyEquivalentsOnlyWhenEnabled) {
  DUView* b = Button(DURectMake(10, 10, 20, 40));
  Key(0x7028, 0x0D);
  EXPECT_EQ(clicks_, 0);
  ASSERT_EQ(UIButtonSetKeyEquivalent(b, 0x7028, TRUE), EFI_SUCCESS);
  Key(0x7028, 0x0D);
  EXPECT_EQ(clicks_, 1);
  ASSERT_EQ(UIButtonSetCharacterEquivalent(b, u'g', TRUE), EFI_SUCCESS);
  Key(0x700A, u'g');
  EXPECT_EQ(clicks_, 2);
  ASSERT_EQ(UIButtonSetCharacterEquivalent(b, u'g', FALSE), EFI_SUCCESS);
  Key(0x700A, u'g');
  Key(0x7029, 0x1B);  // another key
  EXPECT_EQ(clicks_, 2);
}

TEST_F(ButtonTest, ToggleAlternatesBetweenNormalAndOn) {
  DUView* b = Button(DURectMake(10, 10, 20, 40));
  ASSERT_EQ(UIButtonSetToggle(b, TRUE), EFI_SUCCESS);
  Down(15, 15);
  Up(15, 15);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateOn);
  EXPECT_EQ(Shown(b), kOn);
  Down(15, 15);
  Up(15, 15);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateNormal);
  EXPECT_EQ(clicks_, 2);
}

TEST_F(ButtonTest, GroupKeepsOneSelectedAndShowsPressedOnlyAfterHold) {
  DUView* group = nullptr;
  ASSERT_EQ(UIButtonGroupCreate(&group), EFI_SUCCESS);
  DUView* a = Button(DURectMake(10, 10, 20, 40));
  DUView* b = Button(DURectMake(60, 10, 20, 40));
  for (DUView* v : {a, b}) {
    ASSERT_EQ(UIButtonSetToggle(v, TRUE), EFI_SUCCESS);
    ASSERT_EQ(UIButtonSetGroup(v, group), EFI_SUCCESS);
  }
  Down(15, 15);
  EXPECT_EQ(UIButtonGetState(a), kUIButtonStateNormal);  // the hold timer is pending
  Advance(180);
  RunDeferred();
  EXPECT_EQ(UIButtonGetState(a), kUIButtonStatePressed);
  Up(15, 15);
  EXPECT_EQ(UIButtonGetState(a), kUIButtonStateOn);
  EXPECT_EQ(UIButtonGroupSelectedButton(group), a);
  // A quick click on the other: never pressed-looking, and it takes the selection.
  Down(65, 15);
  Up(65, 15);
  Advance(200);
  RunDeferred();
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateOn);
  EXPECT_EQ(UIButtonGetState(a), kUIButtonStateNormal);
  EXPECT_EQ(UIButtonGroupSelectedButton(group), b);
  // Clicking the selected one keeps it selected.
  Down(65, 15);
  Up(65, 15);
  EXPECT_EQ(UIButtonGetState(b), kUIButtonStateOn);
  EXPECT_EQ(clicks_, 3);
  EXPECT_EQ(DUScreenRemoveView(screen_, a), EFI_SUCCESS);
  EXPECT_EQ(DUScreenRemoveView(screen_, b), EFI_SUCCESS);
  EXPECT_EQ(UIButtonGroupSelectedButton(group), nullptr);
  EXPECT_EQ(DUViewDestroy(group), EFI_SUCCESS);
}

TEST_F(ButtonTest, DestroyedWhilePressedInAGroupLeavesNoTimer) {
  DUView* group = nullptr;
  ASSERT_EQ(UIButtonGroupCreate(&group), EFI_SUCCESS);
  DUView* a = Button(DURectMake(10, 10, 20, 40));
  ASSERT_EQ(UIButtonSetGroup(a, group), EFI_SUCCESS);
  Down(15, 15);
  EXPECT_EQ(DUScreenRemoveView(screen_, a), EFI_SUCCESS);
  Advance(200);
  RunDeferred();
  EXPECT_EQ(DUViewDestroy(group), EFI_SUCCESS);
}

TEST_F(ButtonTest, UnregisteredButtonIgnoresEventsAndReplacedPicturesShow) {
  DUView* b = Button(DURectMake(10, 10, 20, 40));
  ASSERT_EQ(UIButtonUnregister(b), EFI_SUCCESS);
  Down(15, 15);
  Up(15, 15);
  EXPECT_EQ(clicks_, 0);
  auto n = Solid(DUSize{10, 10}, 0x00ABCDEF);
  ASSERT_EQ(UIButtonReplaceImageBuffers(b, n.data(), n.data(), n.data(), DUSize{10, 10}), EFI_SUCCESS);
  EXPECT_EQ(b->frame.width, 10);
  EXPECT_EQ(Shown(b), 0x00ABCDEFu);
  ASSERT_EQ(UIButtonSetState(b, kUIButtonStatePressed), EFI_SUCCESS);
  EXPECT_EQ(UIButtonSetState(b, 4), EFI_INVALID_PARAMETER);
  ASSERT_EQ(DUScreenDraw(screen_), EFI_SUCCESS);
  EXPECT_EQ(display_.Pixel(12, 12), 0x00ABCDEFu);
}

}  // namespace
