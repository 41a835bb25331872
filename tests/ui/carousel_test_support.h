// A carousel on a fake display with synthetic tile pictures: every picture is one flat
// colour that names its tile and its kind, so a pixel says which picture was drawn where.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "ui/carousel.h"
#include "ui/event_protocol.h"
#include "ui/run_loop.h"

constexpr INT32 kTileSide = 20;
constexpr INT32 kSpacing = 10;
constexpr INT32 kPitch = kTileSide + kSpacing;
constexpr INT32 kVisible = 4;

// Opaque colour of tile t's picture k (1..6).
inline DUPixel TileColour(int t, int k) { return DUColorMake(UINT8(10 + t), UINT8(k * 30), 99, 0); }
inline DUPixel ArrowColour(bool next, bool down) { return DUColorMake(200, next ? 1 : 2, down ? 3 : 4, 0); }
inline DUPixel PocketColour(bool right) { return DUColorMake(150, 150, right ? 5 : 6, 0); }

class CarouselFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog();
    firmware_.Install();
    ASSERT_EQ(InstallTarnEventProtocol(fw_.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
  }
  void TearDown() override {
    if (screen_) {
      EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    }
    RemoveTarnEventProtocol();
    pictures_.clear();
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }

  DUPixel* Picture(DUPixel colour, int height, int width) {
    pictures_.emplace_back(size_t(height) * width, colour);
    return pictures_.back().data();
  }

  // A carousel of count tiles added to the screen at {0, 0}.
  DUView* Make(int count, int visible = kVisible) {
    tiles_.reset(new UICarouselTileBuffers[size_t(count > 0 ? count : 1)]());
    for (int t = 0; t < count; ++t) {
      for (int k = 1; k <= 6; ++k) tiles_[t][k] = Picture(TileColour(t, k), kTileSide, kTileSide);
    }
    info_ = {};
    info_.tileCount = count;
    info_.tiles = tiles_.get();
    info_.tileHeight = kTileSide;
    info_.tileWidth = kTileSide;
    info_.spacing = kSpacing;
    info_.visibleCount = visible;
    info_.goNextUpImage = Picture(ArrowColour(true, false), 8, 6);
    info_.goNextDownImage = Picture(ArrowColour(true, true), 8, 6);
    info_.goNextImageSize = DUSize{8, 6};
    info_.goPrevUpImage = Picture(ArrowColour(false, false), 8, 6);
    info_.goPrevDownImage = Picture(ArrowColour(false, true), 8, 6);
    info_.goPrevImageSize = DUSize{8, 6};
    info_.didSelect = [](DUView*, void* c) { static_cast<CarouselFixture*>(c)->events_.push_back("select"); };
    info_.didSelectContext = this;
    info_.didDeselect = [](DUView*, void* c) { static_cast<CarouselFixture*>(c)->events_.push_back("deselect"); };
    info_.didDeselectContext = this;
    info_.midpoint = [](DUView*, void* c) {
      auto* f = static_cast<CarouselFixture*>(c);
      f->events_.push_back("midpoint@" + std::to_string(f->transfers_at_midpoint_ = f->display_.Transfers().size()));
    };
    info_.midpointContext = this;
    UICarouselMagicPockets pockets{Picture(PocketColour(false), 4, 4), DUSize{4, 4}, Picture(PocketColour(true), 4, 4),
                                   DUSize{4, 4}};
    DUView* view = nullptr;
    EXPECT_EQ(UICarouselViewCreate(&view, &info_, &pockets), 0u);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    EXPECT_EQ(UICarouselViewRegisterForEvents(view), 0u);
    return view;
  }

  static DUPixel At(DUView* view, DURect rect) {
    return view->pixels[size_t(rect.y + rect.height / 2) * view->content_size.width + rect.x + rect.width / 2];
  }
  // The picture colour at the middle of tile t's place at rest.
  static DUPixel TileAtRest(DUView* view, int t) {
    return At(view, UICarouselRestRect(UICarouselViewState(view), view, t));
  }

  void Pointer(UINT64 kind, DUPoint at) { firmware_.Fire(kTarnEventPointerButton, kind | kTarnPointerPrimary, 0, {at.x, at.y}); }
  void Move(DUPoint at) { firmware_.Fire(kTarnEventPointerMoved, kTarnPointerMove, 0, {at.x, at.y}); }
  void Click(DUPoint at) {
    Pointer(kTarnPointerDown, at);
    Pointer(kTarnPointerUp, at);
  }
  static DUPoint Middle(DURect r) { return DUPoint{r.x + r.width / 2, r.y + r.height / 2}; }

  // Runs what the responders deferred, then stops the loop.
  static void RunDeferred() {
    RunLoop* loop = RunLoopGetCurrent();
    ASSERT_EQ(RunLoopExit(), 0);
    ASSERT_EQ(RunLoopRun(loop), 0);
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{400, 200, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents firmware_{7};
  DUScreen* screen_ = nullptr;
  std::vector<std::vector<DUPixel>> pictures_;
  std::unique_ptr<UICarouselTileBuffers[]> tiles_;
  UICarouselTilesInfo info_{};
  std::vector<std::string> events_;
  size_t transfers_at_midpoint_ = 0;
};
