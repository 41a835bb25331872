#include "tests/draw/screen_fixture.h"

namespace {

const DUPixel kRed = DUColorMake(255, 0, 0, 0);

TEST_F(ScreenTest, AttachedViewsFollowTheirAnchorsBothWays) {
  DUView* a = Solid({10, 10, 4, 6}, kRed);
  DUView* b = Solid({0, 0, 2, 2}, kRed);
  // b's top-left sits 1 pixel right of a's bottom-right.
  ASSERT_EQ(DUViewAttach(a, kDUAnchorBottomRight, b, kDUAnchorTopLeft, {1, 0}), EFI_SUCCESS);
  EXPECT_EQ(b->frame.x, 17);
  EXPECT_EQ(b->frame.y, 14);
  ASSERT_NE(b->attachments, nullptr);
  EXPECT_EQ(b->attachments->other, a);
  EXPECT_EQ(b->attachments->anchor, UINT32(kDUAnchorTopLeft));
  EXPECT_EQ(b->attachments->offset.x, -1) << "the mirror record has the negated offset";

  ASSERT_EQ(DUViewSetOrigin(a, {0, 0}), EFI_SUCCESS);
  EXPECT_EQ(b->frame.x, 7);
  EXPECT_EQ(b->frame.y, 4);
  EXPECT_TRUE(b->needs_display);
  ASSERT_EQ(DUViewSetOrigin(b, {20, 20}), EFI_SUCCESS);  // the mirror moves a
  EXPECT_EQ(a->frame.x, 13);
  EXPECT_EQ(a->frame.y, 16);
  ASSERT_EQ(DUViewSetFrame(a, {0, 0, 10, 10}), EFI_SUCCESS);
  EXPECT_EQ(b->frame.x, 11);
  EXPECT_EQ(b->frame.y, 10);
  EXPECT_EQ(DUViewAttach(a, 8, b, 0, {0, 0}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUViewAttach(a, 0, a, 0, {0, 0}), EFI_INVALID_PARAMETER);
}

TEST_F(ScreenTest, GroupKeepsPlacesAndMovesItsMembersTogether) {
  DUView* group = nullptr;
  ASSERT_EQ(DUViewCreateGroup(screen_, &group), EFI_SUCCESS);
  DUView* a = Solid({5, 6, 2, 2}, kRed);
  DUView* b = Solid({0, 0, 2, 2}, kRed);
  ASSERT_EQ(DUViewAttach(a, kDUAnchorTopRight, b, kDUAnchorTopLeft, {3, 0}), EFI_SUCCESS);  // b at (10, 6)
  ASSERT_EQ(DUViewAttachGroup(group, a), EFI_SUCCESS);
  EXPECT_EQ(a->frame.x, 5);
  EXPECT_EQ(b->frame.x, 10);
  ASSERT_EQ(DUViewSetOrigin(group, {10, 10}), EFI_SUCCESS);
  EXPECT_EQ(a->frame.x, 15);
  EXPECT_EQ(a->frame.y, 16);
  EXPECT_EQ(b->frame.x, 20);
  EXPECT_EQ(b->frame.y, 16);
}

int gDestroyCalls = 0;
void CountDestroy(DUView*) { ++gDestroyCalls; }

TEST_F(ScreenTest, DestroyingAViewRemovesTheViewsAttachedToIt) {
  gDestroyCalls = 0;
  DUView* a = Solid({0, 0, 2, 2}, kRed);
  DUView* b = Solid({0, 0, 2, 2}, kRed);
  DUView* c = Solid({0, 0, 2, 2}, kRed);
  DUView* other = Solid({9, 9, 2, 2}, kRed);
  for (DUView* v : {a, b, c}) DUViewSetCallbacks(v, nullptr, CountDestroy, nullptr, nullptr);
  DUViewAttach(a, 0, b, 0, {0, 0});
  DUViewAttach(b, 0, c, 0, {0, 0});
  DUViewAttach(c, 0, a, 0, {0, 0});  // a ring
  ASSERT_EQ(DUViewDestroy(a), EFI_SUCCESS);
  EXPECT_EQ(gDestroyCalls, 3);
  EXPECT_EQ(screen_->views, other);
  EXPECT_EQ(other->next, nullptr);
}

TEST_F(ScreenTest, DestroyedViewsAndKindsAboveSixteenAreRefused) {
  DUView fake{};
  fake.kind = kDUViewKindDestroyed;
  EXPECT_EQ(DUViewDestroy(&fake), EFI_INVALID_PARAMETER);
  DUView* view = Solid({0, 0, 1, 1}, kRed, false);
  EXPECT_EQ(DUViewSetKind(view, 17), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUViewSetKind(view, 16), EFI_SUCCESS);
  EXPECT_EQ(DUViewDestroy(view), EFI_SUCCESS);
}

EFI_STATUS RefuseVisibility(DUView*, BOOLEAN) { return EFI_ACCESS_DENIED; }
EFI_STATUS AnotherDraw(DUView*, const DURect*) { return EFI_SUCCESS; }

TEST_F(ScreenTest, CallbacksTagsVisibilityAndTransparencyReachAttachedViews) {
  DUView* a = Solid({0, 0, 2, 2}, kRed);
  DUView* b = Solid({0, 0, 2, 2}, kRed);
  int user = 0;
  ASSERT_EQ(DUViewSetCallbacks(a, AnotherDraw, nullptr, nullptr, &user), EFI_SUCCESS);
  ASSERT_EQ(DUViewSetCallbacks(a, nullptr, nullptr, nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(a->callbacks.draw, AnotherDraw) << "null keeps the old callback";
  EXPECT_EQ(a->user_data, &user);
  UINT32 tag = 0;
  DUViewSetTag(a, 0x5A5A);
  ASSERT_EQ(DUViewGetTag(a, &tag), EFI_SUCCESS);
  EXPECT_EQ(tag, 0x5A5Au);

  DUViewAttach(a, 0, b, 0, {0, 0});
  ASSERT_EQ(DUViewSetVisible(a, FALSE), EFI_SUCCESS);
  EXPECT_FALSE(b->visible);
  ASSERT_EQ(DUViewSetTransparency(a, 77), EFI_SUCCESS);
  EXPECT_EQ(b->transparency, 77);
  DUViewSetCallbacks(a, nullptr, nullptr, RefuseVisibility, nullptr);
  EXPECT_EQ(DUViewSetVisible(a, TRUE), EFI_ACCESS_DENIED);
  EXPECT_FALSE(a->visible);
}

struct AnimationLog {
  int origins = 0, transparencies = 0, releases = 0;
};
AnimationLog gAnimation;
const DUViewAnimationOps kAnimation = {
    [](DUView*) -> BOOLEAN { return TRUE; },
    [](DUView*, DUPoint) -> EFI_STATUS { ++gAnimation.origins; return EFI_SUCCESS; },
    [](DUView*, UINT8) -> EFI_STATUS { ++gAnimation.transparencies; return EFI_SUCCESS; },
    [](DUView* v) { ++gAnimation.releases; v->animation = nullptr; },
};

TEST_F(ScreenTest, RunningAnimationsTakeOverMovesAndTheFollowerMovesAlong) {
  gAnimation = {};
  DUView* view = Solid({0, 0, 2, 2}, kRed);
  DUView* follower = Solid({0, 0, 2, 2}, kRed);
  view->follower = follower;
  ASSERT_EQ(DUViewSetOrigin(view, {4, 5}), EFI_SUCCESS);
  EXPECT_EQ(follower->frame.x, 4);
  EXPECT_EQ(follower->frame.y, 5);
  int record = 0;
  view->animation = &record;
  view->animation_ops = &kAnimation;
  DUViewSetOrigin(view, {9, 9});
  DUViewSetTransparency(view, 9);
  EXPECT_EQ(view->frame.x, 4);
  EXPECT_EQ(view->transparency, 0);
  EXPECT_EQ(gAnimation.origins, 1);
  EXPECT_EQ(gAnimation.transparencies, 1);
  DUViewDestroy(view);
  EXPECT_EQ(gAnimation.releases, 1);
}

TEST_F(ScreenTest, SwappingTheImageNeedsTheSameSizeAndDropsScaledCopies) {
  DUView* view = Solid({0, 0, 2, 3}, kRed);
  view->scaling = DUScaling{TRUE, 2 * kDUFixedOne, 2 * kDUFixedOne, 1, &view->scaled_copies};
  Draw();
  EXPECT_EQ(display_.Pixel(5, 3), kRed & 0xFFFFFF) << "drawn at twice its size";
  EXPECT_EQ(display_.Pixel(1, 1), kRed & 0xFFFFFF);
  ASSERT_NE(view->scaled_copies, nullptr);
  auto* pixels = static_cast<DUPixel*>(PoolAllocate(6 * sizeof(DUPixel)));
  for (int i = 0; i < 6; ++i) pixels[i] = DUColorMake(0, 0, 255, 0);
  EXPECT_EQ(DUViewSwapImageWithImage(view, pixels, {3, 2}, 24), 1u);
  EXPECT_EQ(DUViewSwapImageWithImage(nullptr, pixels, {2, 3}, 24), 1u);
  EXPECT_EQ(DUViewSwapImageWithImage(view, pixels, {2, 3}, 24), 0u);
  EXPECT_EQ(view->scaled_copies, nullptr);
  Draw();
  EXPECT_EQ(display_.Pixel(1, 1), DUColorMake(0, 0, 255, 0)) << "the new picture, scaled afresh";
}

TEST_F(ScreenTest, CreationFailuresLeaveNothingBehind) {
  DUView* view = nullptr;
  fw_.FailNthPoolAllocation(2);  // the buffer
  EXPECT_EQ(DUViewCreate({0, 0, 4, 4}, &view), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(view, nullptr);
  auto* small = static_cast<DUPixel*>(PoolAllocate(4));
  EXPECT_EQ(DUViewCreateWithImage({0, 0, 4, 4}, small, 4, &view), EFI_INVALID_PARAMETER) << "and the buffer is freed";
  DUView* grown = Solid({0, 0, 1, 1}, kRed);
  fw_.FailNthPoolAllocation(1);
  EXPECT_EQ(DUViewSetFrame(grown, {0, 0, 9, 9}), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(grown->frame.width, 1);
}

}  // namespace
