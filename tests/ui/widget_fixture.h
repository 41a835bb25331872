// A screen on the fake display with the firmware's input-event protocol, for widget tests:
// pointer and key events go straight to the screen's responders, the clock advances in
// milliseconds, and RunDeferred drains the run loop.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "ui/event_protocol.h"
#include "ui/run_loop.h"
#include "ui/view_animation.h"

class WidgetFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog();
    events_.Install();
    ASSERT_EQ(InstallTarnEventProtocol(fw_.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
  }
  void TearDown() override {
    RunDeferred();
    UIViewAnimationStopScreen(screen_);
    RunDeferred();
    EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    EXPECT_EQ(events_.LiveHandlers(), 0u);
    RemoveTarnEventProtocol();
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }

  void RunDeferred() {
    RunLoop* loop = RunLoopGetCurrent();
    ASSERT_EQ(RunLoopExit(), 0);
    EXPECT_EQ(RunLoopRun(loop), 0);
  }
  void Advance(UINT64 milliseconds) { fw_.Advance100ns(milliseconds * 10000); }

  void Pointer(UINT64 kind, INT32 x, INT32 y) {
    UINT32 type = kind == kTarnPointerMove ? kTarnEventPointerMoved : kTarnEventPointerButton;
    events_.Fire(type, kind | (kind == kTarnPointerMove ? 0 : kTarnPointerPrimary), 0, TarnEventPosition{x, y});
  }
  void Down(INT32 x, INT32 y) { Pointer(kTarnPointerDown, x, y); }
  void Up(INT32 x, INT32 y) { Pointer(kTarnPointerUp, x, y); }
  void Move(INT32 x, INT32 y) { Pointer(kTarnPointerMove, x, y); }
  void Key(UINT16 key_code, UINT16 character, UINT16 modifiers = 0) {
    TarnEventKeyData key{modifiers, 1, character, key_code};
    events_.Fire(kTarnEventKeyPressed, UINT64(reinterpret_cast<UINTN>(&key)), modifiers);
  }

  static std::vector<DUPixel> Solid(DUSize size, DUPixel colour) {
    return std::vector<DUPixel>(size_t(size.width) * size.height, colour);
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{200, 150, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents events_{7};
  DUScreen* screen_ = nullptr;
};
