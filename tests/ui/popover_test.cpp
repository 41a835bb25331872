#include "ui/popover.h"

#include <string>

#include "tests/ui/widget_fixture.h"

namespace {

// Three items of 10 x 40 with 5-pixel gaps in a 60-wide popover, frame pieces of 40, 10, 40.
class PopoverTest : public WidgetFixture {
 protected:
  DUView* Popover(BOOLEAN stays_open) {
    UIPopoverInfo info{};
    info.width = 60;
    info.stays_open = stays_open;
    info.top_frame_image = top_.data();
    info.tile_frame_image = tile_.data();
    info.bottom_frame_image = bottom_.data();
    info.top_frame_size = DUSize{40, 60};
    info.tile_frame_size = DUSize{10, 60};
    info.bottom_frame_size = DUSize{40, 60};
    info.item_count = 3;
    for (int i = 0; i < 3; ++i) {
      info.item_images[i] = item_.data();
      info.item_sizes[i] = DUSize{10, 40};
      info.item_spacing[i] = 5;
      info.item_callbacks[i] = [](DUView*, void* c) { static_cast<PopoverTest*>(c)->chosen_.push_back(0); };
      info.item_contexts[i] = this;
    }
    info.item_callbacks[1] = [](DUView*, void* c) { static_cast<PopoverTest*>(c)->chosen_.push_back(1); };
    info.item_highlighted_images[1] = lit_.data();
    DUView* view = nullptr;
    EXPECT_EQ(UIPopoverCreate(&view, info), 0u);
    EXPECT_EQ(DUViewSetOrigin(view, DUPoint{20, 10}), EFI_SUCCESS);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    EXPECT_EQ(UIPopoverRegisterForEvents(view), 0u);
    return view;
  }
  // A point on item i in screen coordinates.
  DUPoint On(DUView* v, int i) {
    DURect r = UIPopoverItemRect(v, i);
    return DUPoint{v->frame.x + r.x + 5, v->frame.y + r.y + 5};
  }
  std::vector<DUPixel> top_ = Solid(DUSize{40, 60}, 0x00101010), tile_ = Solid(DUSize{10, 60}, 0x00202020),
                       bottom_ = Solid(DUSize{40, 60}, 0x00303030), item_ = Solid(DUSize{10, 40}, 0x00AA0000),
                       lit_ = Solid(DUSize{10, 40}, 0x0000AA00);
  std::vector<int> chosen_;
};

TEST_F(PopoverTest, HeightAndItemPlaces) {
  DUView* p = Popover(FALSE);
  EXPECT_EQ(UIPopoverHeight(p), 10 * 3 + 5 * 2 + 40 + 40 - 26);
  EXPECT_EQ(p->z_order, kUIPopoverZOrder);
  EXPECT_TRUE(DURectEqual(UIPopoverItemRect(p, 0), DURectMake(10, 30, 10, 40)));
  EXPECT_TRUE(DURectEqual(UIPopoverItemRect(p, 2), DURectMake(10, 60, 10, 40)));
  EXPECT_EQ(p->pixels[30 * 60 + 10], 0x00AA0000u);
  EXPECT_EQ(p->pixels[0], 0x00101010u);
}

TEST_F(PopoverTest, PressHighlightsReleaseChoosesThroughTheRunLoop) {
  DUView* p = Popover(FALSE);
  DUPoint second = On(p, 1);
  Move(second.x, second.y);  // hovering alone highlights nothing
  EXPECT_EQ(UIPopoverStateOf(p)->highlighted, -1);
  Down(second.x, second.y);
  EXPECT_EQ(UIPopoverStateOf(p)->highlighted, 1);
  DURect r = UIPopoverItemRect(p, 1);
  EXPECT_EQ(p->pixels[r.y * 60 + r.x], 0x0000AA00u);  // the highlighted picture
  Up(second.x, second.y);
  EXPECT_EQ(UIPopoverStateOf(p)->highlighted, -1);
  EXPECT_TRUE(chosen_.empty());
  RunDeferred();
  EXPECT_EQ(chosen_, (std::vector<int>{1}));
  // Released between items: nothing is chosen.
  Down(p->frame.x + 2, second.y);
  Up(p->frame.x + 2, second.y);
  RunDeferred();
  EXPECT_EQ(chosen_.size(), 1u);
}

TEST_F(PopoverTest, ClickOutsideClosesUnlessItStaysOpen) {
  DUView* p = Popover(FALSE);
  Down(150, 140);
  EXPECT_FALSE(p->visible);
  EXPECT_EQ(DUScreenRemoveView(screen_, p), EFI_SUCCESS);
  DUView* open = Popover(TRUE);
  Down(150, 140);
  EXPECT_TRUE(open->visible);
}

TEST_F(PopoverTest, RefusesBadWidthAndNullOutput) {
  UIPopoverInfo info{};
  DUView* view = nullptr;
  EXPECT_EQ(UIPopoverCreate(&view, info), 1u);
  EXPECT_NE(CapturedLog().find("info->width is not valid is: 0"), std::string::npos);
  EXPECT_EQ(UIPopoverRegisterForEvents(nullptr), 1u);
  EXPECT_NE(CapturedLog().find("popover is NULL"), std::string::npos);
  info.width = 10;  // no frame pictures: logged, items still drawn
  EXPECT_EQ(UIPopoverCreate(&view, info), 0u);
  EXPECT_NE(CapturedLog().find("userData->info.tileFrameImage is NULL"), std::string::npos);
  EXPECT_EQ(DUViewDestroy(view), EFI_SUCCESS);
}

}  // namespace

namespace {

TEST_F(PopoverTest, APopoverDestroyedBeforeItsDeferredChoiceIsLeftAlone) {
  DUView* p = Popover(FALSE);
  DUPoint first = On(p, 0);
  Down(first.x, first.y);
  Up(first.x, first.y);
  EXPECT_EQ(DUScreenRemoveView(screen_, p), EFI_SUCCESS);
  RunDeferred();
  EXPECT_TRUE(chosen_.empty());
}

}  // namespace
