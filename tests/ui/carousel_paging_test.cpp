#include "tests/ui/carousel_test_support.h"

namespace {

constexpr DUPixel kClear = 0xFFFFFFFF;

struct PagingCase {
  int count;
  std::vector<INT32> forward;  // offsets after each successful page forward
  std::vector<INT32> back;     // then after each page back
};

class CarouselPaging : public CarouselFixture, public ::testing::WithParamInterface<PagingCase> {};
using CarouselPagingTest = CarouselFixture;

TEST_P(CarouselPaging, PagesWholeWindowsClampedAtEitherEnd) {
  const PagingCase& c = GetParam();
  DUView* view = Make(c.count);
  UICarouselState* s = UICarouselViewState(view);
  DURect list = UICarouselListRect(s, view);
  EXPECT_EQ(list.width, kPitch * (std::min(c.count, kVisible) + 1));
  EXPECT_EQ(list.x, (view->frame.width - list.width) / 2);
  EXPECT_EQ(view->frame.width, 200 + kPitch * (kVisible + 1));
  EXPECT_EQ(view->frame.height, 160);
  EXPECT_EQ(UICarouselViewScrollBack(view), 1u);

  // Nothing to page: neither arrows nor pockets.
  DUPoint next = Middle(UICarouselNextArrowRect(s, view));
  DUPoint prev = Middle(UICarouselPrevArrowRect(s, view));
  auto pixel = [&](DUPoint p) { return view->pixels[size_t(p.y) * view->content_size.width + p.x]; };
  EXPECT_EQ(pixel(next), c.forward.empty() ? kClear : ArrowColour(true, false));
  EXPECT_EQ(pixel(prev), kClear);

  for (INT32 expected : c.forward) {
    ASSERT_EQ(UICarouselViewScrollForward(view), 0u);
    EXPECT_EQ(s->scrollOffset, expected);
  }
  EXPECT_EQ(UICarouselViewScrollForward(view), 1u);
  if (!c.forward.empty()) {
    // At the far end: the back arrow and the left pocket, no forward arrow.
    EXPECT_EQ(pixel(prev), ArrowColour(false, false));
    EXPECT_EQ(pixel(next), kClear);
    EXPECT_EQ(view->pixels[size_t(list.y + 13) * view->content_size.width + list.x + 1], PocketColour(false));
    // The last tile shows in the window.
    EXPECT_EQ(TileAtRest(view, c.count - 1), TileColour(c.count - 1, 1));
  }
  for (INT32 expected : c.back) {
    ASSERT_EQ(UICarouselViewScrollBack(view), 0u);
    EXPECT_EQ(s->scrollOffset, expected);
  }
  EXPECT_EQ(UICarouselViewScrollBack(view), 1u);
  EXPECT_EQ(s->scrollOffset, 0);
  EXPECT_EQ(TileAtRest(view, 0), TileColour(0, 1));
}

INSTANTIATE_TEST_SUITE_P(Users, CarouselPaging,
                         ::testing::Values(PagingCase{1, {}, {}}, PagingCase{4, {}, {}}, PagingCase{5, {-kPitch}, {0}},
                                           PagingCase{9, {-kPitch * 4, -kPitch * 5}, {-kPitch, 0}}),
                         [](const auto& info) { return std::to_string(info.param.count) + "Users"; });

TEST_F(CarouselPagingTest, TheScrollIsAnimatedOverTenFramesOneFifteenthOfASecondApart) {
  DUView* view = Make(9);
  UINT64 before = fw_.Now100ns();
  ASSERT_EQ(UICarouselViewScrollForward(view), 0u);
  UINT64 elapsed_ms = (fw_.Now100ns() - before) / 10000;
  EXPECT_GE(elapsed_ms, 9u * 66u);
  EXPECT_LT(elapsed_ms, 9u * 66u + 60u);
}

TEST_F(CarouselPagingTest, ThreeTilesInAWindowOfFiveShowNoPocketsOrArrows) {
  DUView* view = Make(3, 5);
  UICarouselState* s = UICarouselViewState(view);
  EXPECT_EQ(UICarouselListRect(s, view).width, kPitch * 4);
  EXPECT_FALSE(UICarouselCanScrollBack(s));
  EXPECT_FALSE(UICarouselCanScrollForward(s));
  for (int t = 0; t < 3; ++t) EXPECT_EQ(TileAtRest(view, t), TileColour(t, 1));
}

TEST_F(CarouselPagingTest, TwelveTilesPageForwardTwiceToTheClampedEnd) {
  DUView* view = Make(12, 5);
  UICarouselState* s = UICarouselViewState(view);
  EXPECT_EQ(UICarouselViewScrollForward(view), 0u);
  EXPECT_EQ(UICarouselViewScrollForward(view), 0u);
  EXPECT_EQ(s->scrollOffset, -kPitch * 7);
  EXPECT_EQ(UICarouselViewScrollForward(view), 1u);
}

TEST_F(CarouselPagingTest, TheNextArrowPagesOnlyWhenReleasedOnItAndOnlyOnceWhileBusy) {
  DUView* view = Make(9);
  UICarouselState* s = UICarouselViewState(view);
  DUPoint next = Middle(UICarouselNextArrowRect(s, view));
  // Down on the arrow, off it, up: the move turned the press into a press on the strip.
  Pointer(kTarnPointerDown, next);
  EXPECT_EQ(s->tracking, kUICarouselTrackingNextArrow);
  EXPECT_EQ(view->pixels[size_t(next.y) * view->content_size.width + next.x], ArrowColour(true, true));
  Move(DUPoint{next.x, 2});
  EXPECT_EQ(s->tracking, kUICarouselTrackingStrip);
  Pointer(kTarnPointerUp, DUPoint{next.x, 2});
  RunDeferred();
  EXPECT_EQ(s->scrollOffset, 0);

  // Two clicks before the run loop runs: the second finds the carousel busy.
  Click(next);
  EXPECT_TRUE(s->busy);
  Click(next);
  RunDeferred();
  EXPECT_FALSE(s->busy);
  EXPECT_EQ(s->scrollOffset, -kPitch * kVisible);
  Click(Middle(UICarouselPrevArrowRect(s, view)));
  RunDeferred();
  EXPECT_EQ(s->scrollOffset, 0);
}

TEST_F(CarouselPagingTest, CreationRefusesMissingArgumentsAndTheStripGeometryIsChecked) {
  DUView* view = nullptr;
  UICarouselTilesInfo info{};
  EXPECT_EQ(UICarouselViewCreate(nullptr, &info, nullptr), 1u);
  EXPECT_EQ(UICarouselViewCreate(&view, nullptr, nullptr), 1u);
  info.tileCount = 2;  // tiles missing
  info.tileWidth = info.tileHeight = info.visibleCount = 1;
  EXPECT_EQ(UICarouselViewCreate(&view, &info, nullptr), 1u);
  EXPECT_EQ(view, nullptr);
  std::string log = CapturedLog();
  EXPECT_NE(log.find("No carouselView given as argument"), std::string::npos) << log;
  EXPECT_NE(log.find("No info given as argument"), std::string::npos);
  EXPECT_EQ(UICarouselViewScrollForward(nullptr), 1u);
  EXPECT_NE(CapturedLog().find("carouselView is NULL"), std::string::npos);

  DUView* carousel = Make(4);
  UICarouselState* s = UICarouselViewState(carousel);
  DURect empty = UICarouselRestRect(s, carousel, 4);
  EXPECT_TRUE(DURectIsEmpty(empty));
  EXPECT_NE(CapturedLog().find("tile index (4) out of bounds [0..3]"), std::string::npos);
  // Points left of the first tile, between tiles and past the list are no tile.
  DURect list = UICarouselListRect(s, carousel);
  EXPECT_EQ(UICarouselTileAtPoint(s, carousel, DUPoint{list.x + 1, list.y + 5}), -1);
  EXPECT_EQ(UICarouselTileAtPoint(s, carousel, DUPoint{list.x + 20 + 25, list.y + 5}), -1);
  EXPECT_EQ(UICarouselTileAtPoint(s, carousel, DUPoint{list.x + 20 + 35, list.y + 5}), 1);
  EXPECT_EQ(UICarouselTileAtPoint(s, carousel, DUPoint{list.x + list.width + 1, list.y + 5}), -1);
}

}  // namespace
