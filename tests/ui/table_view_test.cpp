#include "ui/table_view.h"

#include <string>

#include "draw/blend.h"
#include "tests/ui/widget_fixture.h"
#include "ui/scroll_indicator.h"

namespace {

// Ten rows of 20 x 50, row r filled with colour r + 1.
class TableTest : public WidgetFixture {
 protected:
  void SetUp() override {
    WidgetFixture::SetUp();
    for (int r = 0; r < 10; ++r) {
      storage_.push_back(Solid(DUSize{20, 50}, DUPixel(r + 1)));
      rows_[r] = storage_.back().data();
      sizes_[r] = DUSize{20, 50};
    }
  }
  DUView* Table(INT32 height, INT32 rows = 10) {
    DUView* view = nullptr;
    EXPECT_EQ(UITableViewCreate(&view, DURectMake(10, 20, height, 50), rows, rows_, nullptr, sizes_), 0u);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    return view;
  }
  static DUPixel At(DUView* v, int x, int y) { return v->pixels[y * v->frame.width + x]; }

  std::vector<std::vector<DUPixel>> storage_;
  DUPixel* rows_[10] = {};
  DUSize sizes_[10] = {};
};

TEST_F(TableTest, ScrollClampsAndARowsThatFitRefuse) {
  DUView* t = Table(100);
  EXPECT_EQ(UITableViewSetScrollPosition(t, -500), 0);
  EXPECT_EQ(UITableViewScrollPosition(t), -100);
  EXPECT_EQ(At(t, 0, 0), 6u);  // row 5 at the top
  EXPECT_EQ(UITableViewSetScrollPosition(t, 5), 0);
  EXPECT_EQ(UITableViewScrollPosition(t), 0);
  EXPECT_EQ(UITableViewSetScrollPosition(t, -30), 0);
  EXPECT_EQ(At(t, 0, 0), 2u);
  EXPECT_EQ(At(t, 0, 10), 3u);
  EXPECT_EQ(UITableViewRowAtPoint(t, DUPoint{15, 25}), 1u);
  EXPECT_EQ(UITableViewRowAtPoint(t, DUPoint{9, 25}), 0xFFFFFFFFu);
  EXPECT_EQ(UITableViewRowAtPoint(t, DUPoint{15, 120}), 0xFFFFFFFFu);
  DUView* fits = Table(300, 3);
  EXPECT_EQ(UITableViewSetScrollPosition(fits, -10), -1);
  EXPECT_EQ(UITableViewContentSize(t).height, 200);
}

struct Calls {
  int did_change = 0;
  bool refuse = false;
  std::vector<INT32> asked;
};
BOOLEAN ShouldSelect(DUView*, void* c, INT32 row) {
  auto* calls = static_cast<Calls*>(c);
  calls->asked.push_back(row);
  return calls->refuse ? FALSE : TRUE;
}
void DidChange(DUView*, void* c) { ++static_cast<Calls*>(c)->did_change; }

TEST_F(TableTest, SelectionDrawsTheBackgroundAndReportsChangesOnce) {
  DUView* t = Table(100);
  Calls calls;
  ASSERT_EQ(UITableViewSetShouldSelectCallback(t, ShouldSelect, &calls), 0u);
  ASSERT_EQ(UITableViewSetDidChangeCallback(t, DidChange, &calls), 0u);
  // A row with transparent pixels shows the selection under it.
  std::vector<DUPixel> clear = Solid(DUSize{20, 50}, 0xFFFFFFFF);
  rows_[2] = clear.data();
  ASSERT_EQ(UITableViewSetSelectedRow(t, 2), 0u);
  EXPECT_EQ(UITableViewSelectedRow(t), 2);
  // Laid over the opaque white background.
  EXPECT_EQ(At(t, 0, 40), DUBlendPixel(kUITableViewDefaultBackground, kUITableViewSelectionStroke, 0xCD));
  EXPECT_EQ(At(t, 1, 41), DUBlendPixel(kUITableViewDefaultBackground, kUITableViewSelectionFill, 0xEB));
  EXPECT_NE(At(t, 0, 40), At(t, 1, 41));
  ASSERT_EQ(UITableViewSetSelectedRow(t, 2), 0u);
  RunDeferred();
  EXPECT_EQ(calls.did_change, 1);
  calls.refuse = true;
  ASSERT_EQ(UITableViewSetSelectedRow(t, 4), 0u);
  EXPECT_EQ(UITableViewSelectedRow(t), -1);
  calls.refuse = false;
  ASSERT_EQ(UITableViewSetSelectedRow(t, 99), 0u);  // clamped to the row count: nothing highlighted
  EXPECT_EQ(UITableViewSelectedRow(t), 10);
  ASSERT_EQ(UITableViewSetSelectedRow(t, -7), 0u);
  EXPECT_EQ(UITableViewSelectedRow(t), -1);
  EXPECT_EQ(calls.asked, (std::vector<INT32>{2, 2, 4, 10, -1}));
  RunDeferred();
  EXPECT_EQ(calls.did_change, 4);  // to -1, to 10, to -1
}

TEST_F(TableTest, NullTableAnswersAndLogs) {
  EXPECT_EQ(UITableViewSelectedRow(nullptr), -1);
  EXPECT_EQ(UITableViewSetBackgroundColor(nullptr, 0), 1u);
  EXPECT_NE(CapturedLog().find("tableView is NULL"), std::string::npos);
}

TEST_F(TableTest, SelectedRowBufferOverlayAndCustomRowHook) {
  std::vector<DUPixel> selected = Solid(DUSize{20, 50}, 0x00ABCDEF);
  DUPixel* selected_rows[10] = {};
  selected_rows[1] = selected.data();
  DUView* t = nullptr;
  ASSERT_EQ(UITableViewCreate(&t, DURectMake(0, 0, 100, 50), 10, rows_, selected_rows, sizes_), 0u);
  ASSERT_EQ(UITableViewSetSelectedRow(t, 1), 0u);
  EXPECT_EQ(At(t, 5, 25), 0x00ABCDEFu);
  std::vector<DUPixel> overlay = Solid(DUSize{1, 1}, 0x00000077);
  ASSERT_EQ(UITableViewSetSelectionOverlay(t, overlay.data(), DUSize{1, 1}), 0u);
  EXPECT_EQ(At(t, 0, 20), 0x00000077u);
  static std::vector<INT32> drawn;
  drawn.clear();
  ASSERT_EQ(UITableViewSetCustomDrawRow(t, [](DUView*, void*, INT32 row, DURect r) -> UINTN {
    drawn.push_back(row * 1000 + r.y);
    return row == 3 ? 1 : 0;
  }, nullptr), 0u);
  EXPECT_EQ(drawn, (std::vector<INT32>{0, 1020, 2040, 3060, 4080}));
  EXPECT_NE(CapturedLog().find("userData->customDrawRow failed"), std::string::npos);
  EXPECT_EQ(DUViewDestroy(t), EFI_SUCCESS);
}

TEST_F(TableTest, ScrollIndicatorThumbFollowsTheOffset) {
  DUView* t = Table(100);
  auto top = Solid(DUSize{2, 4}, 0x00000001), middle = Solid(DUSize{1, 4}, 0x00000002),
       bottom = Solid(DUSize{2, 4}, 0x00000003), track = Solid(DUSize{5, 4}, 0x00000004);
  UIScrollIndicatorPictures p{top.data(), {2, 4}, middle.data(), {1, 4}, bottom.data(), {2, 4}, track.data(), {5, 4}};
  DUView* ind = nullptr;
  ASSERT_EQ(UIScrollIndicatorCreate(&ind, DURectMake(70, 20, 100, 4), p, t), 0u);
  ASSERT_EQ(DUScreenAddView(screen_, ind), EFI_SUCCESS);
  DURect thumb = UIScrollIndicatorThumbRect(ind);
  EXPECT_EQ(thumb.height, 50);  // 100 of 200 visible
  EXPECT_EQ(thumb.y, 0);
  EXPECT_EQ(ind->pixels[0], 1u);
  EXPECT_EQ(ind->pixels[4 * 49], 3u);
  EXPECT_EQ(ind->pixels[4 * 10], 2u);
  EXPECT_EQ(ind->pixels[4 * 60], 4u);
  ASSERT_EQ(UITableViewSetScrollPosition(t, -100), 0);
  EXPECT_EQ(UIScrollIndicatorThumbRect(ind).y, 50);
  EXPECT_EQ(ind->pixels[4 * 60], 2u);
  EXPECT_EQ(DUScreenRemoveView(screen_, ind), EFI_SUCCESS);
  EXPECT_EQ(UITableViewStateOf(t)->scroll_indicator, nullptr);
}

TEST_F(TableTest, AnIndicatorOutlivingItsTableForgetsIt) {
  DUView* t = Table(100);
  auto picture = Solid(DUSize{2, 4}, 0x00000001);
  UIScrollIndicatorPictures p{picture.data(), {2, 4}, picture.data(), {2, 4}, picture.data(), {2, 4}, picture.data(),
                              {2, 4}};
  DUView* ind = nullptr;
  ASSERT_EQ(UIScrollIndicatorCreate(&ind, DURectMake(70, 20, 100, 4), p, t), 0u);
  ASSERT_EQ(DUScreenAddView(screen_, ind), EFI_SUCCESS);
  EXPECT_EQ(DUScreenRemoveView(screen_, t), EFI_SUCCESS);
  EXPECT_EQ(UIScrollIndicatorRefresh(ind), 1u);  // nothing to follow
  EXPECT_EQ(DUScreenRemoveView(screen_, ind), EFI_SUCCESS);
}

}  // namespace

namespace {

TEST_F(TableTest, ATableDestroyedBeforeItsDeferredChangeIsLeftAlone) {
  DUView* t = Table(100);
  Calls calls;
  ASSERT_EQ(UITableViewSetDidChangeCallback(t, DidChange, &calls), 0u);
  ASSERT_EQ(UITableViewSetSelectedRow(t, 1), 0u);
  ASSERT_EQ(UITableViewSetSelectedRow(t, 2), 0u);
  EXPECT_EQ(DUScreenRemoveView(screen_, t), EFI_SUCCESS);
  RunDeferred();
  EXPECT_EQ(calls.did_change, 0);
}

}  // namespace
