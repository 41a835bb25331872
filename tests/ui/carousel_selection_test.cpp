#include "tests/ui/carousel_test_support.h"

namespace {

constexpr DUPixel kClear = 0xFFFFFFFF;

using CarouselSelection = CarouselFixture;

TEST_F(CarouselSelection, AClickedTileFadesInAtTheCentreAfterTheListFadesOut) {
  DUView* view = Make(5);
  UICarouselState* s = UICarouselViewState(view);
  DURect tile2 = UICarouselRestRect(s, view, 2);
  Pointer(kTarnPointerDown, Middle(tile2));
  EXPECT_EQ(At(view, tile2), TileColour(2, 2));  // pressed while the button is down
  Pointer(kTarnPointerUp, Middle(tile2));
  EXPECT_TRUE(events_.empty());  // the selection runs from the run loop
  RunDeferred();
  EXPECT_EQ(events_, (std::vector<std::string>{"midpoint@" + std::to_string(transfers_at_midpoint_), "select"}));
  EXPECT_EQ(s->state, UICarouselViewSelectedState);
  EXPECT_EQ(UICarouselViewSelectedIndex(view), 2);
  DURect centre = UICarouselCenterRect(s, view);
  EXPECT_FALSE(DURectEqual(centre, tile2));
  EXPECT_EQ(At(view, centre), TileColour(2, 5));
  for (int t : {0, 1, 3, 4}) EXPECT_EQ(TileAtRest(view, t), kClear) << t;
  // No arrows or pockets while a tile is selected.
  EXPECT_EQ(UICarouselViewScrollForward(view), 1u);
  EXPECT_NE(CapturedLog().find("cannot scroll forward: (userData->state != UICarouselViewListState)"),
            std::string::npos);
}

TEST_F(CarouselSelection, PressingTheCentredTileShowsItPressedAndReleasingOnItReturnsToTheList) {
  DUView* view = Make(5);
  UICarouselState* s = UICarouselViewState(view);
  ASSERT_EQ(UICarouselViewSelectTile(view, 3, TRUE), 0u);
  DURect centre = UICarouselCenterRect(s, view);
  Pointer(kTarnPointerDown, Middle(centre));
  EXPECT_EQ(At(view, centre), TileColour(3, 6));
  Move(DUPoint{1, 1});
  EXPECT_EQ(At(view, centre), TileColour(3, 5));
  Move(Middle(centre));
  Pointer(kTarnPointerUp, Middle(centre));
  EXPECT_TRUE(s->busy);
  Click(Middle(centre));  // swallowed while busy
  RunDeferred();
  EXPECT_EQ(events_, (std::vector<std::string>{"midpoint@" + std::to_string(transfers_at_midpoint_), "select",
                                               "deselect"}));
  EXPECT_EQ(s->state, UICarouselViewListState);
  EXPECT_EQ(UICarouselViewSelectedIndex(view), -1);
  EXPECT_FALSE(s->busy);
  for (int t = 0; t < kVisible; ++t) EXPECT_EQ(TileAtRest(view, t), TileColour(t, 1)) << t;  // the fifth lies past the window
  EXPECT_EQ(UICarouselViewReturnToList(view), 0u);  // nothing more to undo
  EXPECT_EQ(events_.size(), 3u);
}

TEST_F(CarouselSelection, ReleasingOutsideTheCentredTileKeepsTheSelection) {
  DUView* view = Make(5);
  UICarouselState* s = UICarouselViewState(view);
  ASSERT_EQ(UICarouselViewSelectTile(view, 0, FALSE), 0u);
  DURect centre = UICarouselCenterRect(s, view);
  Pointer(kTarnPointerDown, Middle(centre));
  Pointer(kTarnPointerUp, DUPoint{2, 2});
  RunDeferred();
  EXPECT_EQ(s->state, UICarouselViewSelectedState);
  EXPECT_FALSE(s->centerPressed);
}

TEST_F(CarouselSelection, ATileAlreadyAtTheCentreIsSelectedInPlaceWithTheMidpointAfterFrameThree) {
  DUView* view = Make(3);  // three of four: the middle tile sits on the centre
  UICarouselState* s = UICarouselViewState(view);
  ASSERT_TRUE(DURectEqual(UICarouselRestRect(s, view, 1), UICarouselCenterRect(s, view)));
  ASSERT_EQ(UICarouselViewSelectTile(view, 1, TRUE), 0u);
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[1], "select");
  EXPECT_EQ(At(view, UICarouselCenterRect(s, view)), TileColour(1, 5));
  // The other two faded out completely.
  EXPECT_EQ(DUPixelTransparency(TileAtRest(view, 0)), 255);
  ASSERT_EQ(UICarouselViewReturnToList(view), 0u);
  for (int t = 0; t < 3; ++t) EXPECT_EQ(TileAtRest(view, t), TileColour(t, 1)) << t;
}

TEST_F(CarouselSelection, ASingleTileIsSelectedAtOnceInPlace) {
  DUView* view = Make(1);
  ASSERT_EQ(UICarouselViewSelectTile(view, 0, TRUE), 0u);
  EXPECT_EQ(events_, (std::vector<std::string>{"select"}));
  EXPECT_EQ(TileAtRest(view, 0), TileColour(0, 5));
  EXPECT_EQ(UICarouselViewSelectTile(view, 0, TRUE), 0u);  // selected already: nothing
  EXPECT_EQ(events_.size(), 1u);
}

TEST_F(CarouselSelection, FadeTransparenciesFollowTheFrame) {
  struct Case {
    INT32 op, f, n;
    UINT8 alpha;
  } cases[] = {
      {DrawListFadeOut, 4, 8, 127},   {DrawSelectedFadeIn, 2, 8, 192}, {DrawSelectedFadeOut, 8, 8, 255},
      {DrawListFadeIn, 8, 8, 0},      {DrawDeselectInPlace, 0, 8, 255}, {DrawSelectInPlace, 3, 0, 0},
      {DrawCenterTile, 3, 8, 0},      {DrawTilesList, 0, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(UICarouselTileAlpha(c.op, c.f, c.n), c.alpha) << c.op << " " << c.f;
  EXPECT_EQ(UICarouselTileAlpha(DrawTilesList, 1, 2), 0);
  EXPECT_EQ(UICarouselTileAlpha(9, 1, 2), 0);
  std::string log = CapturedLog();
  EXPECT_NE(log.find("Inconsitency (numOfFrames > 0) but drawOperation is DrawTilesList"), std::string::npos);
  EXPECT_NE(log.find("Unknown drawOperation"), std::string::npos);
}

TEST_F(CarouselSelection, TheKeyboardHighlightStepsAndScrollsIntoView) {
  DUView* view = Make(9);
  UICarouselState* s = UICarouselViewState(view);
  EXPECT_EQ(UICarouselViewSetKeyboardSelectionIndex(view, 9), 0u);
  EXPECT_EQ(s->keyboardIndex, -1);
  EXPECT_NE(CapturedLog().find("Invalid new selection 9"), std::string::npos);
  ASSERT_EQ(UICarouselViewMoveKeyboardSelectionRight(view), 0u);
  EXPECT_EQ(s->keyboardIndex, 0);
  EXPECT_EQ(TileAtRest(view, 0), TileColour(0, 3));
  ASSERT_EQ(UICarouselViewSetKeyboardSelectionIndex(view, 6), 0u);
  EXPECT_EQ(s->scrollOffset, -kPitch * 3);  // tiles 3..6 now show
  EXPECT_EQ(TileAtRest(view, 6), TileColour(6, 3));
  ASSERT_EQ(UICarouselViewMoveKeyboardSelectionLeft(view), 0u);
  EXPECT_EQ(s->keyboardIndex, 5);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(UICarouselViewMoveKeyboardSelectionRight(view), 0u);
  EXPECT_EQ(s->keyboardIndex, 8);
  EXPECT_EQ(s->scrollOffset, -kPitch * 5);
  ASSERT_EQ(UICarouselViewSetKeyboardSelectionIndex(view, 1), 0u);
  EXPECT_EQ(s->scrollOffset, -kPitch);
  ASSERT_EQ(UICarouselViewSetKeyboardSelectionIndex(view, 0), 0u);
  ASSERT_EQ(UICarouselViewMoveKeyboardSelectionLeft(view), 0u);  // from 0: the first visible
  EXPECT_EQ(s->keyboardIndex, 0);
  EXPECT_EQ(s->scrollOffset, 0);
  ASSERT_EQ(UICarouselViewActivateKeyboardSelection(view), 0u);
  EXPECT_EQ(UICarouselViewSelectedIndex(view), 0);
  EXPECT_EQ(events_.back(), "select");
  EXPECT_EQ(At(view, UICarouselCenterRect(s, view)), TileColour(0, 5));
}

TEST_F(CarouselSelection, RegistrationFollowsTheScreensResponders) {
  DUView* view = Make(4);  // registered
  EXPECT_EQ(firmware_.LiveHandlers(), 1u);
  UICarouselState* s = UICarouselViewState(view);
  Click(Middle(UICarouselRestRect(s, view, 1)));
  RunDeferred();
  EXPECT_EQ(UICarouselViewSelectedIndex(view), 1);
  EXPECT_EQ(UICarouselViewUnregisterForEvents(view), 0u);
  EXPECT_EQ(firmware_.LiveHandlers(), 0u);
  EXPECT_EQ(UICarouselViewRegisterForEvents(nullptr), 1u);
  EXPECT_NE(CapturedLog().find("carouselView is NULL"), std::string::npos);
}

}  // namespace

namespace {

// Every frame marks the view and draws the screen once: the display sees one transfer per
// frame. Eight frames a phase at 1x, sixteen in HiDPI; the midpoint comes before frame 3·s
// of the second phase.
TEST_F(CarouselSelection, TheSelectAnimationRunsTwoPhasesOfEightFramesPerScale) {
  for (UINT32 scale : {1u, 2u}) {
    ASSERT_EQ(DUSetScale(scale), EFI_SUCCESS);
    DUView* view = Make(5);
    size_t start = display_.Transfers().size();
    ASSERT_EQ(UICarouselViewSelectTile(view, 1, TRUE), 0u);
    size_t per_phase = 8 * scale;
    EXPECT_EQ(display_.Transfers().size() - start, 2 * per_phase) << scale;
    EXPECT_EQ(transfers_at_midpoint_ - start, per_phase + 3 * scale - 1) << scale;
    start = display_.Transfers().size();
    ASSERT_EQ(UICarouselViewReturnToList(view), 0u);
    EXPECT_EQ(display_.Transfers().size() - start, 2 * per_phase + 1) << scale;  // and the list at rest
    ASSERT_EQ(DUScreenRemoveView(screen_, view), EFI_SUCCESS);
  }
  ASSERT_EQ(DUSetScale(1), EFI_SUCCESS);
}

}  // namespace
