// The 20-second check of the window: input resets the count, the sixteenth quiet check
// ends the window, and a lid closed on battery counts only when the next check still sees it.
#include <gtest/gtest.h>

#include "draw/display.h"
#include "draw/screen.h"
#include "login/window_internal.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_smc.h"
#include "tests/ui/ui_test_support.h"
#include "ui/run_loop.h"

namespace {

class Idle : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog();
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(0, &screen_), EFI_SUCCESS);
    ASSERT_EQ(DUViewCreate(DURectMake(10, 10, 4, 4), &cursor_), EFI_SUCCESS);
    ASSERT_EQ(DUScreenSetCursorView(screen_, cursor_), EFI_SUCCESS);
    lw_.screen = screen_;
    smc_.SetKey("MSLD", {0});
    smc_.SetKey("BATP", {0});
  }
  void TearDown() override {
    RunLoop* loop = RunLoopGetCurrent();
    RunLoopExit();
    RunLoopRun(loop);
    EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
  }
  // Runs checks until the window ends; the number of checks, or 0 after limit.
  int ChecksUntilExit(int limit, const std::function<void(int)>& before = nullptr) {
    for (int i = 1; i <= limit; ++i) {
      if (before) before(i);
      LWIdleCheck(&lw_);
      if (lw_.exit_code == kLoginExitIdle) return i;
    }
    return 0;
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{100, 80, MemoryGraphicsOutput::kUnwritten};
  MemorySmc smc_;
  DUScreen* screen_ = nullptr;
  DUView* cursor_ = nullptr;
  LoginWindow lw_{};
};

TEST_F(Idle, SixteenQuietChecksEndTheWindow) {
  lw_.last_cursor = DUPoint{10, 10};
  EXPECT_EQ(ChecksUntilExit(40), 16);
}

TEST_F(Idle, AMovedPointerStartsTheCountAgain) {
  lw_.last_cursor = DUPoint{10, 10};
  int moved_at = 10;
  EXPECT_EQ(ChecksUntilExit(40, [&](int i) {
              if (i == moved_at) DUViewSetOriginDirect(cursor_, DUPoint{20, 20});
            }),
            moved_at + 16);
}

TEST_F(Idle, ALidClosedOnBatteryIsActedOnAtTheFollowingCheckOnly) {
  lw_.last_cursor = DUPoint{10, 10};
  smc_.SetKey("MSLD", {1});
  smc_.SetKey("BATP", {1});
  EXPECT_EQ(ChecksUntilExit(40), 2);
}

TEST_F(Idle, ALidOpenedAgainBeforeTheNextCheckIsForgotten) {
  lw_.last_cursor = DUPoint{10, 10};
  struct Case {
    std::vector<uint8_t> lid, battery;
  } cases[] = {{{1}, {0}}, {{0}, {1}}};
  for (const Case& c : cases) {
    lw_.exit_code = 0;
    lw_.idle_count = 0;
    lw_.lid_closed_on_battery = FALSE;
    // Closed on battery at the first check, then as the case says.
    int checks = ChecksUntilExit(3, [&](int i) {
      smc_.SetKey("MSLD", i == 1 ? std::vector<uint8_t>{1} : c.lid);
      smc_.SetKey("BATP", i == 1 ? std::vector<uint8_t>{1} : c.battery);
    });
    EXPECT_EQ(checks, 0);
    EXPECT_FALSE(lw_.lid_closed_on_battery);
  }
}

TEST_F(Idle, AnUnreadableLidCountsAsOpen) {
  lw_.last_cursor = DUPoint{10, 10};
  smc_.SetKey("BATP", {1});
  smc_.FailReads("MSLD", 100);
  EXPECT_EQ(ChecksUntilExit(5), 0);
}

}  // namespace
