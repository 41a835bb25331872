// A 40 x 30 display with a screen on it, and views of one colour.
#pragma once

#include <gtest/gtest.h>

#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/test_firmware.h"

constexpr DUPixel kFill = DUColorMake(0, 0, 40, 0);

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(kFill, &screen_), EFI_SUCCESS);
  }
  void TearDown() override {
    if (screen_) {
      EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    }
    EXPECT_EQ(TrackedAllocationCount(), 0u) << "something was left allocated";
  }

  DUView* Solid(DURect frame, DUPixel colour, bool add = true) {
    DUView* view = nullptr;
    EXPECT_EQ(DUViewCreate(frame, &view), EFI_SUCCESS);
    for (INT32 i = 0; i < frame.width * frame.height; ++i) view->pixels[i] = colour;
    if (add) {
      EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    }
    return view;
  }

  // Draws and returns the areas sent to the display.
  std::vector<DURect> Draw() {
    display_.ClearTransfers();
    EXPECT_EQ(DUScreenDraw(screen_), EFI_SUCCESS);
    std::vector<DURect> sent;
    for (const MemoryGraphicsOutput::Box& b : display_.Transfers()) {
      sent.push_back(DURectMake(INT32(b.x), INT32(b.y), INT32(b.height), INT32(b.width)));
    }
    return sent;
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{40, 30, MemoryGraphicsOutput::kUnwritten};
  DUScreen* screen_ = nullptr;
};

inline bool SameRect(const DURect& a, const DURect& b) { return DURectEqual(a, b); }
