#include <random>

#include "tests/draw/draw_test_support.h"
#include "tests/draw/screen_fixture.h"

namespace {

const DUPixel kRed = DUColorMake(255, 0, 0, 0), kGreen = DUColorMake(0, 255, 0, 0), kBlue = DUColorMake(0, 0, 255, 0);
constexpr DUPixel kShown = 0x00FFFFFF;  // the display keeps colour only

TEST_F(ScreenTest, FirstDrawPaintsEverythingThenOnlyWhatChanged) {
  DUView* view = Solid({2, 3, 4, 5}, kRed);
  auto sent = Draw();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(SameRect(sent[0], DURect{0, 0, 30, 40}));
  EXPECT_EQ(display_.Pixel(2, 3), kRed & kShown);
  EXPECT_EQ(display_.Pixel(7, 3), kFill & kShown);
  EXPECT_FALSE(view->needs_display);
  EXPECT_TRUE(SameRect(view->dirty, view->frame));

  EXPECT_TRUE(Draw().empty()) << "nothing changed, nothing sent";

  ASSERT_EQ(DUViewSetOrigin(view, {10, 12}), EFI_SUCCESS);
  sent = Draw();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(SameRect(sent[0], DURect{2, 3, 13, 13})) << "old and new place together";
  EXPECT_EQ(display_.Pixel(2, 3), kFill & kShown);
  EXPECT_EQ(display_.Pixel(10, 12), kRed & kShown);
}

TEST_F(ScreenTest, ViewsDrawInZOrderAndEqualZOrdersInTheOrderAdded) {
  DUView* top = Solid({0, 0, 10, 10}, kRed);
  ASSERT_EQ(DUViewSetZOrder(top, 6000), EFI_SUCCESS);
  Solid({0, 0, 10, 10}, kGreen);
  Solid({5, 0, 10, 10}, kBlue);  // same z-order as green, added later: above it
  Draw();
  EXPECT_EQ(display_.Pixel(0, 0), kRed & kShown);
  EXPECT_EQ(display_.Pixel(12, 0), kBlue & kShown);
  ASSERT_EQ(DUViewSetZOrder(top, 1000), EFI_SUCCESS);
  Draw();
  EXPECT_EQ(display_.Pixel(0, 0), kGreen & kShown) << "a new z-order takes effect at once";
  EXPECT_EQ(display_.Pixel(6, 0), kBlue & kShown);
  EXPECT_EQ(DUViewSetZOrder(top, 999), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUViewSetZOrder(top, 10001), EFI_INVALID_PARAMETER);
}

TEST_F(ScreenTest, HiddenFullyTransparentAndGroupViewsAreSkippedButMarkedClean) {
  DUView* hidden = Solid({0, 0, 4, 4}, kRed);
  DUView* clear = Solid({4, 0, 4, 4}, kGreen);
  DUView* group = nullptr;
  ASSERT_EQ(DUViewCreateGroup(screen_, &group), EFI_SUCCESS);
  EXPECT_EQ(group->kind, kDUViewKindGroup);
  ASSERT_EQ(DUViewSetVisible(hidden, FALSE), EFI_SUCCESS);
  ASSERT_EQ(DUViewSetTransparency(clear, 255), EFI_SUCCESS);
  Draw();
  EXPECT_EQ(display_.Pixel(0, 0), kFill & kShown);
  EXPECT_EQ(display_.Pixel(5, 0), kFill & kShown);
  for (DUView* v : {hidden, clear, group}) EXPECT_FALSE(v->needs_display);
  ASSERT_EQ(DUViewSetTransparency(clear, 0), EFI_SUCCESS);
  ASSERT_EQ(Draw().size(), 1u) << "a new transparency is drawn";
  EXPECT_EQ(display_.Pixel(5, 0), kGreen & kShown);
}

TEST_F(ScreenTest, SettingTheSameFrameMarksNothing) {
  DUView* view = Solid({1, 1, 3, 3}, kRed);
  Draw();
  ASSERT_EQ(DUViewSetFrame(view, {1, 1, 3, 3}), EFI_SUCCESS);
  EXPECT_FALSE(view->needs_display);
  EXPECT_TRUE(Draw().empty());
  ASSERT_EQ(DUViewSetFrame(view, {1, 1, 6, 8}), EFI_SUCCESS);
  EXPECT_TRUE(view->needs_display);
  EXPECT_EQ(view->content_size.width, 8);
  EXPECT_GE(view->pixels_size, 6u * 8u * 4u) << "a larger frame gets a buffer to match";
}

TEST_F(ScreenTest, RemovedViewsAreDestroyedAndTheirAreaRepainted) {
  DUView* view = Solid({5, 5, 4, 4}, kRed);
  Draw();
  ASSERT_EQ(DUScreenRemoveView(screen_, view), EFI_SUCCESS);
  auto sent = Draw();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(SameRect(sent[0], DURect{5, 5, 4, 4}));
  EXPECT_EQ(display_.Pixel(6, 6), kFill & kShown);
  DUView* loose = Solid({0, 0, 1, 1}, kRed, false);
  EXPECT_EQ(DUScreenRemoveView(screen_, loose), EFI_NOT_FOUND);
  EXPECT_EQ(DUViewDestroy(loose), EFI_SUCCESS);
}

TEST_F(ScreenTest, DestroyingAViewOnTheScreenTakesItOffTheScreen) {
  DUView* view = Solid({5, 5, 4, 4}, kRed);
  Draw();
  ASSERT_EQ(DUViewDestroy(view), EFI_SUCCESS);
  EXPECT_EQ(screen_->views, nullptr);
  Draw();
  EXPECT_EQ(display_.Pixel(6, 6), kFill & kShown);
}

TEST_F(ScreenTest, BackgroundIsCentredMustFitAndRedrawsEverything) {
  Draw();
  DUView* too_big = Solid({0, 0, 31, 10}, kRed, false);
  EXPECT_EQ(DUScreenSetBackgroundView(screen_, too_big), EFI_INVALID_PARAMETER);
  DUViewDestroy(too_big);
  DUView* background = Solid({0, 0, 10, 20}, kGreen, false);
  ASSERT_EQ(DUScreenSetBackgroundView(screen_, background), EFI_SUCCESS);
  EXPECT_TRUE(SameRect(background->frame, DURect{10, 10, 10, 20}));
  Solid({10, 10, 2, 2}, kRed);
  auto sent = Draw();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(SameRect(sent[0], DURect{0, 0, 30, 40}));
  EXPECT_EQ(display_.Pixel(12, 12), kGreen & kShown);
  EXPECT_EQ(display_.Pixel(10, 10), kRed & kShown) << "views above the background";
  DUView* second = Solid({0, 0, 2, 2}, kBlue, false);
  ASSERT_EQ(DUScreenSetBackgroundView(screen_, second), EFI_SUCCESS);  // the first one is destroyed
}

int gDestroyed = 0;
void CountDestroy(DUView*) { ++gDestroyed; }

TEST_F(ScreenTest, CursorIsDrawnLastAndReplacingItDestroysTheOldOne) {
  gDestroyed = 0;
  Solid({0, 0, 10, 10}, kRed);
  DUView* cursor = Solid({2, 2, 2, 2}, kBlue, false);
  ASSERT_EQ(DUViewSetZOrder(cursor, 1000), EFI_SUCCESS);
  DUViewSetCallbacks(cursor, nullptr, CountDestroy, nullptr, nullptr);
  ASSERT_EQ(DUScreenSetCursorView(screen_, cursor), EFI_SUCCESS);
  Draw();
  EXPECT_EQ(display_.Pixel(2, 2), kBlue & kShown);
  ASSERT_EQ(DUViewSetOrigin(cursor, {20, 20}), EFI_SUCCESS);
  auto sent = Draw();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(SameRect(sent[0], DURect{2, 2, 20, 20}));
  ASSERT_EQ(DUScreenSetCursorView(screen_, Solid({0, 0, 1, 1}, kGreen, false)), EFI_SUCCESS);
  EXPECT_EQ(gDestroyed, 1);
}

EFI_STATUS FailingDraw(DUView*, const DURect*) { return EFI_DEVICE_ERROR; }
EFI_STATUS MissingDraw(DUView*, const DURect*) { return EFI_NOT_FOUND; }

TEST_F(ScreenTest, DrawErrorsStopTheDrawAndNotFoundKeepsTheMarks) {
  DUView* missing = Solid({0, 0, 2, 2}, kRed);
  DUViewSetCallbacks(missing, MissingDraw, nullptr, nullptr, nullptr);
  Draw();
  EXPECT_TRUE(missing->needs_display);
  DUView* failing = Solid({0, 0, 2, 2}, kRed);
  DUViewSetCallbacks(failing, FailingDraw, nullptr, nullptr, nullptr);
  EXPECT_EQ(DUScreenDraw(screen_), EFI_DEVICE_ERROR);
}

TEST_F(ScreenTest, DrawNeedsInitialisationAndABackBuffer) {
  DUPixel* saved = screen_->back_buffer;
  screen_->back_buffer = nullptr;
  EXPECT_EQ(DUScreenDraw(screen_), EFI_BAD_BUFFER_SIZE);
  screen_->back_buffer = saved;
}

struct RunLoopLog {
  std::vector<DUView*> removed;
  int destroyed = 0;
};
RunLoopLog gRunLoop;
const DUScreenOps kRunLoopOps = {
    [](DUScreen*, DUView* view) { gRunLoop.removed.push_back(view); },
    [](DUScreen*) { ++gRunLoop.destroyed; },
};

TEST_F(ScreenTest, TheRunLoopHearsOfRemovedViewsAndTheScreensEnd) {
  gRunLoop = {};
  screen_->ops = &kRunLoopOps;
  DUView* a = Solid({0, 0, 2, 2}, kRed);
  DUView* b = Solid({0, 0, 2, 2}, kRed);
  ASSERT_EQ(DUScreenRemoveView(screen_, a), EFI_SUCCESS);
  ASSERT_EQ(DUViewDestroy(b), EFI_SUCCESS);
  ASSERT_EQ(gRunLoop.removed.size(), 2u);
  EXPECT_EQ(gRunLoop.removed[0], a);
  EXPECT_EQ(gRunLoop.removed[1], b);
  Solid({0, 0, 2, 2}, kRed);
  ASSERT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
  screen_ = nullptr;
  EXPECT_EQ(gRunLoop.removed.size(), 3u);
  EXPECT_EQ(gRunLoop.destroyed, 1);
}

// Any sequence of changes, redrawn lazily, leaves the display as a full repaint would.
TEST_F(ScreenTest, LazyRedrawMatchesAFullRepaint) {
  std::mt19937 rng(81);
  std::vector<DUView*> views;
  for (int i = 0; i < 8; ++i) {
    DURect frame{int(rng() % 40) - 5, int(rng() % 30) - 5, int(rng() % 12 + 1), int(rng() % 12 + 1)};
    DUView* view = Solid(frame, 0);
    auto pixels = RandomPicture(rng, frame.width, frame.height);
    std::copy(pixels.begin(), pixels.end(), view->pixels);
    DUViewSetZOrder(view, 1000 + rng() % 4 * 1000);
    views.push_back(view);
  }
  for (int step = 0; step < 60; ++step) {
    DUView* view = views[rng() % views.size()];
    switch (rng() % 5) {
      case 0: DUViewSetOrigin(view, {int(rng() % 44) - 6, int(rng() % 34) - 6}); break;
      case 1: DUViewSetVisible(view, rng() % 3 != 0); break;
      case 2: DUViewSetTransparency(view, UINT8(rng() % 3 == 0 ? 255 : rng() % 200)); break;
      case 3: DUViewSetFrame(view, {view->frame.x, view->frame.y, view->frame.height, int(rng() % 12 + 1)}); break;
      case 4: DUViewSetZOrder(view, 1000 + rng() % 4 * 1000); break;
    }
    if (rng() % 3 == 0) continue;
    Draw();
    std::vector<DUPixel> full(40 * 30);
    DUFillBufferRect(kFill, full.data(), {30, 40}, {0, 0, 30, 40});
    for (DUView* v = screen_->views; v; v = v->next) {
      if (!v->visible || v->transparency == 255) continue;
      DUCompositePixelBuffers(full.data(), {30, 40}, nullptr, v->pixels, v->content_size, {v->frame.x, v->frame.y},
                              v->transparency, nullptr);
    }
    for (DUPixel& p : full) p &= kShown;
    ASSERT_EQ(display_.Pixels(), full) << "step " << step;
  }
}

}  // namespace
