#include "ui/single_tile.h"

#include "tests/ui/widget_fixture.h"

namespace {

class SingleTileTest : public WidgetFixture {
 protected:
  DUView* Tile(UINT32 mode) {
    UISingleTileInfo info{};
    info.images[kUITileImageNormal] = normal_.data();
    info.images[kUITileImageSelected] = selected_.data();
    info.images[kUITileImageSelectedPressed] = pressed_.data();
    info.size = DUSize{16, 16};
    info.mode = mode;
    info.click = [](void* a, void* b) {
      EXPECT_EQ(a, b);
      ++*static_cast<int*>(a);
    };
    info.context = &clicks_;
    DUView* view = nullptr;
    EXPECT_EQ(UISingleTileViewCreate(&view, info), 0u);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    EXPECT_EQ(UISingleTileViewRegisterForEvents(view), 0u);
    return view;
  }
  std::vector<DUPixel> normal_ = Solid(DUSize{16, 16}, 1), selected_ = Solid(DUSize{16, 16}, 5),
                       pressed_ = Solid(DUSize{16, 16}, 6);
  int clicks_ = 0;
};

TEST_F(SingleTileTest, SelectedModeShowsPressedWhileInsideAndClicksOnRelease) {
  DUView* t = Tile(kUISingleTileModeSelected);
  EXPECT_EQ(t->pixels[0], 5u);
  Down(3, 3);
  EXPECT_EQ(t->pixels[0], 6u);
  Move(50, 50);
  EXPECT_EQ(t->pixels[0], 5u);
  Move(4, 4);
  Up(4, 4);
  EXPECT_EQ(t->pixels[0], 5u);
  EXPECT_EQ(clicks_, 0);
  RunDeferred();
  EXPECT_EQ(clicks_, 1);
  Down(3, 3);
  Up(40, 40);  // released outside
  RunDeferred();
  EXPECT_EQ(clicks_, 1);
}

TEST_F(SingleTileTest, NormalModeAndNullOutput) {
  DUView* t = Tile(0);
  EXPECT_EQ(t->pixels[0], 1u);
  Down(3, 3);
  EXPECT_EQ(t->pixels[0], 1u);
  Up(3, 3);
  RunDeferred();
  EXPECT_EQ(clicks_, 1);
  UISingleTileInfo info{};
  EXPECT_EQ(UISingleTileViewCreate(nullptr, info), 1u);
}

}  // namespace

namespace {

TEST_F(SingleTileTest, ATileDestroyedBeforeItsDeferredClickIsLeftAlone) {
  DUView* t = Tile(0);
  Down(3, 3);
  Up(3, 3);
  EXPECT_EQ(DUScreenRemoveView(screen_, t), EFI_SUCCESS);
  RunDeferred();
  EXPECT_EQ(clicks_, 0);
}

}  // namespace
