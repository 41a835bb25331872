#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "ui/event_protocol.h"
#include "ui/menu.h"
#include "ui/run_loop.h"
#include "ui/table_view.h"

namespace {

constexpr DUPixel kTick = DUColorMake(1, 2, 3, 0);
constexpr DUPixel kTriangle = DUColorMake(4, 5, 6, 0);

class MenuFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog();
    firmware_.Install();
    ASSERT_EQ(InstallTarnEventProtocol(fw_.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
    resources_.tick = Picture(kTick, 4, 4);
    resources_.tickSelected = resources_.tick;
    resources_.triangleLeft = Picture(kTriangle, 6, 4);
    resources_.triangleLeftSelected = resources_.triangleLeft;
    for (auto& s : resources_.shadow) s = Picture(DUColorMake(0, 0, 0, 128), 3, 3);
  }
  void TearDown() override {
    for (TesselMenu* m : menus_) TesselMenuDestroy(m);
    RunDeferred();
    if (screen_) {
      EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    }
    EXPECT_EQ(firmware_.LiveHandlers(), 0u);
    RemoveTarnEventProtocol();
    pictures_.clear();
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  TesselMenuPicture Picture(DUPixel colour, int height, int width) {
    pictures_.emplace_back(size_t(height) * width, colour);
    return TesselMenuPicture{pictures_.back().data(), DUSize{height, width}};
  }
  static DUPixel* Row(DUPixel colour, int height, int width) {
    auto* p = static_cast<DUPixel*>(PoolAllocate(size_t(height) * width * 4));
    for (int i = 0; i < height * width; ++i) p[i] = colour;
    return p;
  }
  TesselMenu* Menu(int rows, int row_height = 20, int width = 100) {
    TesselMenu* menu = TesselMenuCreate(screen_, &resources_);
    for (int i = 0; i < rows; ++i) {
      TesselMenuAddItem(menu, Row(DUColorMake(UINT8(i), 100, 0, 0), row_height, width),
                        Row(DUColorMake(UINT8(i), 200, 0, 0), row_height, width), DUSize{row_height, width}, Chosen,
                        this, FALSE);
    }
    menus_.push_back(menu);
    return menu;
  }
  static void Chosen(TesselMenuItem* item) {
    auto* f = static_cast<MenuFixture*>(item->context);
    f->chosen_.push_back(item->index);
    f->chosen_at_ = f->fw_.Now100ns();
  }
  void Move(DUPoint at) { firmware_.Fire(kTarnEventPointerMoved, kTarnPointerMove, 0, {at.x, at.y}); }
  void Down(DUPoint at) {
    firmware_.Fire(0x2, kTarnPointerDown | kTarnPointerPrimary, 0, {at.x, at.y});
  }
  static void RunDeferred() {
    RunLoop* loop = RunLoopGetCurrent();
    ASSERT_EQ(RunLoopExit(), 0);
    ASSERT_EQ(RunLoopRun(loop), 0);
  }
  static DUPoint RowMiddle(TesselMenu* menu, int row) {
    DURect r = TesselMenuRowRect(menu, row);
    return DUPoint{r.x + r.width / 2, r.y + r.height / 2};
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{1024, 768, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents firmware_{7};
  DUScreen* screen_ = nullptr;
  TesselMenuResources resources_{};
  std::vector<std::vector<DUPixel>> pictures_;
  std::vector<TesselMenu*> menus_;
  std::vector<int> chosen_;
  uint64_t chosen_at_ = 0;
};

TEST_F(MenuFixture, ATallMenuScrollsFasterAndFasterWhileThePointerRestsBelowIt) {
  TesselMenu* menu = Menu(60);
  ASSERT_EQ(TesselMenuShowAtPoint(menu, DUPoint{100, 100}), 0u);
  EXPECT_TRUE(menu->scrollable);
  DURect frame = menu->tableView->frame;
  EXPECT_EQ(frame.height, 768 - 64);
  EXPECT_EQ(frame.y, 32);  // moved up, never above 32
  EXPECT_EQ(frame.width, 100);
  EXPECT_EQ(menu->tableView->kind, kUIViewKindTableView);
  Move(DUPoint{frame.x + 10, frame.y + frame.height + 20});
  EXPECT_EQ(menu->scrollStep, -12);
  EXPECT_EQ(menu->scrollAcceleration, -2);
  ASSERT_NE(menu->scrollTimer, nullptr);
  std::vector<INT32> offsets;
  for (int tick = 0; tick < 3; ++tick) {
    fw_.Advance100ns(kTesselMenuScrollPeriod);
    RunDeferred();
    offsets.push_back(UITableViewScrollPosition(menu->tableView));
  }
  EXPECT_EQ(offsets, (std::vector<INT32>{-12, -26, -42}));
  // Back inside: the timer stops; the up strip now shows.
  Move(RowMiddle(menu, 10));
  EXPECT_EQ(menu->scrollTimer, nullptr);
  // Far above the top strip: upwards, at least 12 and accelerating.
  Move(DUPoint{frame.x + 10, frame.y - 30});
  EXPECT_EQ(menu->scrollAcceleration, 2);
  EXPECT_GE(menu->scrollStep, 12);
  for (int tick = 0; tick < 10; ++tick) {
    fw_.Advance100ns(kTesselMenuScrollPeriod);
    RunDeferred();
  }
  EXPECT_EQ(UITableViewScrollPosition(menu->tableView), 0);  // clamped at the top
  tesselMenu_unregisterForEvents(menu, FALSE);
}

TEST_F(MenuFixture, ASubmenuOpensOnHoverAndClosesWhenAnotherRowIsHovered) {
  TesselMenu* menu = Menu(4);
  TesselMenu* sub = Menu(3);
  menu->items[2]->submenu = sub;
  menu->items[0]->checked = TRUE;
  ASSERT_EQ(TesselMenuShowAtPoint(menu, DUPoint{50, 50}), 0u);
  DUView* table = menu->tableView;
  EXPECT_EQ(table->pixels[1 * table->content_size.width + 5], kTick);  // the tick at x 4 of the checked row
  DURect third = TesselMenuRowRect(menu, 2);
  int triangle_x = third.width - 10 - 4 + 1;
  EXPECT_EQ(table->pixels[size_t(2 * 20 + 10) * table->content_size.width + triangle_x], kTriangle);

  Move(RowMiddle(menu, 2));
  EXPECT_EQ(menu->openSubmenu, nullptr);  // opens from the run loop
  RunDeferred();
  ASSERT_EQ(menu->openSubmenu, sub);
  ASSERT_NE(sub->tableView, nullptr);
  EXPECT_EQ(sub->tableView->frame.x, third.x + third.width - 1);
  EXPECT_EQ(sub->tableView->frame.y, third.y);
  // Into the submenu: the parent keeps its selection while the submenu is open.
  Move(RowMiddle(sub, 1));
  RunDeferred();
  EXPECT_EQ(UITableViewSelectedRow(table), 2);
  EXPECT_EQ(UITableViewSelectedRow(sub->tableView), 1);
  // Hovering another row of the parent closes the submenu.
  Move(RowMiddle(menu, 0));
  RunDeferred();
  EXPECT_EQ(menu->openSubmenu, nullptr);
  EXPECT_EQ(sub->tableView, nullptr);
  // Down on a submenu row keeps the menu open; down on a plain row chooses it and closes all.
  Move(RowMiddle(menu, 2));
  RunDeferred();
  Down(RowMiddle(menu, 2));
  RunDeferred();
  EXPECT_NE(menu->tableView, nullptr);
  Move(RowMiddle(sub, 0));
  Down(RowMiddle(sub, 0));
  RunDeferred();
  EXPECT_EQ(chosen_, (std::vector<int>{0}));
  EXPECT_EQ(sub->tableView, nullptr);
  EXPECT_EQ(menu->tableView, nullptr);
}

TEST_F(MenuFixture, AChosenRowFlashesTwiceBeforeItsActionWithTheTableQuiet) {
  TesselMenu* menu = Menu(4);
  ASSERT_EQ(TesselMenuShowAtPoint(menu, DUPoint{50, 50}), 0u);
  int changes = 0;
  ASSERT_EQ(UITableViewSetDidChangeCallback(menu->tableView, [](DUView*, void* c) { ++*static_cast<int*>(c); },
                                            &changes),
            0u);
  Move(RowMiddle(menu, 1));
  RunDeferred();
  EXPECT_EQ(changes, 1);
  size_t transfers = display_.Transfers().size();
  uint64_t pressed_at = fw_.Now100ns();
  Down(RowMiddle(menu, 1));
  RunDeferred();
  EXPECT_EQ(chosen_, (std::vector<int>{1}));
  // Two blinks of 66 ms off and 66 ms on, each drawn, before the action.
  EXPECT_GE(chosen_at_ - pressed_at, uint64_t(4 * 66) * 10000);
  EXPECT_LT(chosen_at_ - pressed_at, uint64_t(5 * 66) * 10000);
  EXPECT_GE(display_.Transfers().size() - transfers, 4u);
  EXPECT_EQ(changes, 1);  // the blinking told nobody
  EXPECT_EQ(menu->tableView, nullptr);
}

TEST_F(MenuFixture, AShorterSeparatorRowStillLeavesEveryRowShowing) {
  TesselMenu* menu = TesselMenuCreate(screen_, &resources_);
  menus_.push_back(menu);
  for (int i = 0; i < 4; ++i) {
    int height = i == 2 ? 8 : 20;
    TesselMenuItem* item = TesselMenuAddItem(menu, Row(DUColorMake(50, 50, 50, 0), height, 100),
                                             Row(DUColorMake(60, 60, 60, 0), height, 100), DUSize{height, 100}, Chosen,
                                             this, FALSE);
    item->separator = i == 2;
  }
  ASSERT_EQ(TesselMenuShowAtPoint(menu, DUPoint{50, 50}), 0u);
  EXPECT_FALSE(menu->scrollable);
  EXPECT_EQ(menu->tableView->frame.height, 4 * 20);  // rows are all as high as the first
  EXPECT_EQ(UITableViewSetScrollPosition(menu->tableView, -10), -1);  // nothing hidden
  EXPECT_EQ(TesselMenuRowAtPoint(menu, RowMiddle(menu, 3)), 3);
}

TEST_F(MenuFixture, ASeparatorClosesTheMenuWithoutAnAction) {
  TesselMenu* menu = Menu(3);
  menu->items[1]->separator = TRUE;
  bool closed = false;
  TesselMenuSetCloseCallback(menu, [](TesselMenu*, void* c) { *static_cast<bool*>(c) = true; }, &closed);
  ASSERT_EQ(TesselMenuShowAtPoint(menu, DUPoint{1000, 730}), 0u);
  // Placed inside the screen: left of the right edge by 16, up by the overflow plus 32.
  EXPECT_EQ(menu->tableView->frame.x, 1024 - 16 - 100);
  EXPECT_EQ(menu->tableView->frame.y, 730 - (730 + 60 - 768) - 32);
  Move(RowMiddle(menu, 1));
  EXPECT_EQ(UITableViewSelectedRow(menu->tableView), -1);
  Down(RowMiddle(menu, 1));
  RunDeferred();
  EXPECT_TRUE(chosen_.empty());
  EXPECT_TRUE(closed);
  EXPECT_EQ(menu->tableView, nullptr);
  EXPECT_EQ(TesselMenuItemAtIndex(menu, 3), nullptr);
  EXPECT_NE(CapturedLog().find("index(3) out of bounds"), std::string::npos);
}

}  // namespace
