#include "ui/view_animation.h"

#include <cmath>

#include "tests/ui/widget_fixture.h"
#include "ui/view_animation_sine.h"

namespace {

class AnimationTest : public WidgetFixture {
 protected:
  DUView* Box(DURect frame) {
    DUView* view = nullptr;
    EXPECT_EQ(DUViewCreate(frame, &view), EFI_SUCCESS);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    return view;
  }
  int TicksUntilIdle(int limit = 1000) {
    int ticks = 0;
    while (UIViewAnimationTimerRunning(screen_) && ticks < limit) {
      UIViewAnimationTick(screen_);
      ++ticks;
    }
    return ticks;
  }
};

TEST(AnimationSine, TableMatchesTheMathLibraryAndInterpolates) {
  for (int d = 0; d < 360; d += 7) EXPECT_NEAR(UIAnimationSine(DUFixedFromInt(d)), std::sin(d * M_PI / 180) * 65536, 1);
  EXPECT_EQ(UIAnimationCosine(0), 65536);
  EXPECT_EQ(UIAnimationSine(DUFixedFromInt(90)), 65536);
  INT32 half = UIAnimationSine(DUFixedFromInt(30) + kDUFixedOne / 2);
  EXPECT_GT(half, UIAnimationSine(DUFixedFromInt(30)));
  EXPECT_LT(half, UIAnimationSine(DUFixedFromInt(31)));
}

TEST_F(AnimationTest, MoveOf100msRunsTwoFramesAndEndsOnTheTarget) {
  DUView* v = Box(DURectMake(0, 0, 4, 4));
  int done = 0;
  ASSERT_EQ(UIViewAnimationSetDuration(v, 100), 0u);
  ASSERT_EQ(UIViewAnimationSetMoveCompletion(v, [](DUView*, void* c) { ++*static_cast<int*>(c); }, &done), 0u);
  ASSERT_EQ(UIViewAnimateMove(v, DUPoint{101, 51}), 0u);
  EXPECT_TRUE(UIViewAnimationTimerRunning(screen_));
  EXPECT_EQ(UIViewAnimationTick(screen_), 1u);
  EXPECT_EQ(v->frame.x, 50);
  EXPECT_EQ(v->frame.y, 25);
  EXPECT_EQ(UIViewAnimationTick(screen_), 0u);
  EXPECT_EQ(v->frame.x, 101);
  EXPECT_EQ(v->frame.y, 51);
  EXPECT_EQ(done, 1);
  EXPECT_FALSE(UIViewAnimationTimerRunning(screen_));
  EXPECT_EQ(UIViewAnimateMove(v, DUPoint{101, 51}), 1u);  // already there
}

TEST_F(AnimationTest, TheTimerDrivesTicksThroughTheRunLoop) {
  DUView* v = Box(DURectMake(0, 0, 4, 4));
  ASSERT_EQ(UIViewAnimationSetDuration(v, 340), 0u);
  ASSERT_EQ(UIViewAnimateMove(v, DUPoint{100, 0}), 0u);
  int ticks = 0;
  while (UIViewAnimationTimerRunning(screen_) && ticks < 50) {
    Advance(34);
    RunDeferred();
    ++ticks;
  }
  EXPECT_EQ(ticks, 10);
  EXPECT_EQ(v->frame.x, 100);
  ASSERT_EQ(DUScreenDraw(screen_), EFI_SUCCESS);
}

struct CurveCase {
  UINT32 options;
  bool slow_start;
  bool slow_end;
};

TEST_F(AnimationTest, CurvesStartAndEndAsNamedAndNeverOvershoot) {
  for (CurveCase c : {CurveCase{kUIAnimationLinear, false, false}, CurveCase{kUIAnimationEaseIn, true, false},
                      CurveCase{kUIAnimationEaseOut, false, true}, CurveCase{kUIAnimationEaseInOut, true, true}}) {
    SCOPED_TRACE(c.options);
    DUView* v = Box(DURectMake(0, 0, 4, 4));
    ASSERT_EQ(UIViewAnimationSetDuration(v, 340), 0u);
    ASSERT_EQ(UIViewAnimationSetOptions(v, c.options), 0u);
    ASSERT_EQ(UIViewAnimateMove(v, DUPoint{1000, 0}), 0u);
    std::vector<INT32> xs{0};
    while (UIViewAnimationTimerRunning(screen_)) {
      UIViewAnimationTick(screen_);
      xs.push_back(v->frame.x);
    }
    ASSERT_EQ(xs.size(), 11u);
    for (size_t i = 1; i < xs.size(); ++i) {
      EXPECT_GE(xs[i], xs[i - 1]);
      EXPECT_LE(xs[i], 1000);
    }
    EXPECT_EQ(xs.back(), 1000);
    INT32 first = xs[1] - xs[0], last = xs[10] - xs[9];
    EXPECT_EQ(first < 100, c.slow_start) << first;
    EXPECT_EQ(last < 100, c.slow_end) << last;
    EXPECT_EQ(DUScreenRemoveView(screen_, v), EFI_SUCCESS);
  }
}

TEST_F(AnimationTest, GoBackOnceReturnsAndRepeatKeepsGoing) {
  DUView* v = Box(DURectMake(10, 0, 4, 4));
  int done = 0;
  ASSERT_EQ(UIViewAnimationSetTransparencyCompletion(v, [](DUView*, void* c) { ++*static_cast<int*>(c); }, &done), 0u);
  ASSERT_EQ(UIViewAnimateTransparency(v, 200, kUIAnimationLinear | kUIAnimationGoBackOnce, 136), 0u);
  EXPECT_EQ(TicksUntilIdle(), 8);  // four frames there, four back
  EXPECT_EQ(v->transparency, 0);
  EXPECT_EQ(done, 1);
  ASSERT_EQ(UIViewAnimationSetDuration(v, 68), 0u);
  ASSERT_EQ(UIViewAnimationSetOptions(v, kUIAnimationLinear | kUIAnimationRepeat), 0u);
  ASSERT_EQ(UIViewAnimateMove(v, DUPoint{20, 0}), 0u);
  EXPECT_EQ(TicksUntilIdle(9), 9);
  EXPECT_TRUE(UIViewAnimationIsRunning(v));
  EXPECT_EQ(v->frame.x, 15);  // the ninth frame: half way on a way out
  // An explicit move ends the animation.
  ASSERT_EQ(DUViewSetOrigin(v, DUPoint{3, 3}), EFI_SUCCESS);
  EXPECT_FALSE(UIViewAnimationIsRunning(v));
  EXPECT_EQ(UIViewAnimationTick(screen_), 0u);
  EXPECT_EQ(v->frame.x, 3);
}

TEST_F(AnimationTest, ViewsOffScreenAreRefusedAndAViewRemovedMidwayIsForgotten) {
  DUView* loose = nullptr;
  ASSERT_EQ(DUViewCreate(DURectMake(0, 0, 2, 2), &loose), EFI_SUCCESS);
  EXPECT_EQ(UIViewAnimateMove(loose, DUPoint{5, 5}), 1u);
  EXPECT_EQ(DUViewDestroy(loose), EFI_SUCCESS);
  DUView* v = Box(DURectMake(0, 0, 4, 4));
  ASSERT_EQ(UIViewAnimationSetDuration(v, 340), 0u);
  ASSERT_EQ(UIViewAnimateMove(v, DUPoint{50, 0}), 0u);
  UIViewAnimationTick(screen_);
  EXPECT_EQ(DUScreenRemoveView(screen_, v), EFI_SUCCESS);
  EXPECT_EQ(UIViewAnimationTick(screen_), 0u);
  EXPECT_FALSE(UIViewAnimationTimerRunning(screen_));
}

}  // namespace
