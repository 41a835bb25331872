#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "ui/run_loop.h"
#include "ui/timer.h"
#include "ui/tpl_lock.h"

namespace {

struct Recorder {
  std::vector<int> ran;
};

EFI_STATUS Record(RunLoop*, void* context, UINTN argument) {
  static_cast<Recorder*>(context)->ran.push_back(int(argument));
  return 0;
}

EFI_STATUS Fail(RunLoop*, void*, UINTN) { return EFI_DEVICE_ERROR; }

EFI_STATUS ExitNow(RunLoop*, void*, UINTN) { return RunLoopExit() == 0 ? 0 : 1; }

struct RunLoopFixture : ::testing::Test {
  TestFirmware fw;
  Recorder recorder;
  void SetUp() override { CaptureLog(); }
  void TearDown() override { EXPECT_EQ(TrackedAllocationCount(), 0u); }
};

TEST_F(RunLoopFixture, The129thDeferralIsRefusedAndCountedAndTheFirst128Run) {
  RunLoop* loop = RunLoopGetCurrent();
  for (int i = 0; i < 128; ++i) ASSERT_EQ(RunLoopExecuteDeferredFunc(Record, &recorder, i, "record"), 0);
  EXPECT_EQ(RunLoopExecuteDeferredFunc(Record, &recorder, 128, "late"), -1);
  EXPECT_EQ(RunLoopExecuteDeferredFunc(Record, &recorder, 129, "later"), -1);
  std::string log = CapturedLog();
  EXPECT_NE(log.find("Cannot defer function (late), function queue is full (count:0)"), std::string::npos) << log;
  EXPECT_NE(log.find("Cannot defer function (later), function queue is full (count:1)"), std::string::npos);
  EXPECT_NE(log.find("runLoop->numberOfFunctions: 128"), std::string::npos);
  EXPECT_EQ(loop->numberOfFunctions, 128);
  ASSERT_EQ(RunLoopExit(), 0);
  EXPECT_EQ(RunLoopRun(loop), 0);
  ASSERT_EQ(recorder.ran.size(), 128u);
  for (int i = 0; i < 128; ++i) EXPECT_EQ(recorder.ran[i], i);
}

// Each step defers the next one while a hundred fillers wait ahead of it: 300 entries pass
// through the 128 slots.
EFI_STATUS ChainStep(RunLoop* loop, void* context, UINTN argument) {
  static_cast<Recorder*>(context)->ran.push_back(int(argument));
  if (argument < 199) return RunLoopExecuteDeferredFunc(loop, ChainStep, context, argument + 1, "chain") == 0 ? 0 : 1;
  return RunLoopExit() == 0 ? 0 : 1;
}

TEST_F(RunLoopFixture, TheRingWrapsAndKeepsDeferralOrder) {
  ASSERT_EQ(RunLoopExecuteDeferredFunc(ChainStep, &recorder, 0, "chain"), 0);
  RunLoop* loop = RunLoopGetCurrent();
  for (int i = 0; i < 100; ++i) RunLoopExecuteDeferredFunc(loop, Record, &recorder, 1000 + i, "filler");
  EXPECT_EQ(RunLoopRun(), 0);
  // Every entry ran once, in the order it was deferred.
  std::vector<int> chain_order;
  for (int v : recorder.ran) {
    if (v < 1000) chain_order.push_back(v);
  }
  ASSERT_EQ(chain_order.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(chain_order[i], i);
  EXPECT_EQ(recorder.ran.size(), 300u);
  EXPECT_EQ(recorder.ran[1], 1000);
}

TEST_F(RunLoopFixture, ExitWaitsForTheQueueAndAFreshLoopTakesLaterDeferrals) {
  for (int i = 0; i < 5; ++i) RunLoopExecuteDeferredFunc(Record, &recorder, i, "five");
  RunLoop* first = RunLoopGetCurrent();
  ASSERT_EQ(RunLoopExit(), 0);
  RunLoopExecuteDeferredFunc(Record, &recorder, 99, "after exit");
  RunLoopExecuteDeferredFunc(Fail, nullptr, 0, "failing");
  RunLoopExecuteDeferredFunc(ExitNow, nullptr, 0, "exit");
  RunLoop* second = RunLoopGetCurrent();
  EXPECT_NE(first, second);
  EXPECT_EQ(RunLoopRun(first), 0);
  EXPECT_EQ(recorder.ran, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(RunLoopRun(), 0);
  EXPECT_EQ(recorder.ran, (std::vector<int>{0, 1, 2, 3, 4, 99}));
  EXPECT_NE(CapturedLog().find("Deferred function failed in runloop"), std::string::npos);
  EXPECT_EQ(RunLoopRun(nullptr), 1);
  EXPECT_EQ(RunLoopExecuteDeferredFunc(nullptr, Record, &recorder, 0, "x"), 1);
  EXPECT_NE(CapturedLog().find("runLoop is NULL"), std::string::npos);
}

// A timer's notification only defers; the work runs in the loop, after what was queued.
struct TickState {
  Recorder* recorder;
  int ticks = 0;
  EFI_EVENT timer = nullptr;
};
void EFIAPI Tick(EFI_EVENT, void* context) {
  auto* state = static_cast<TickState*>(context);
  EXPECT_GT(TestFirmware::Current().CurrentTpl(), TPL_APPLICATION);
  ++state->ticks;
  RunLoopExecuteDeferredFunc(Record, state->recorder, 100 + state->ticks, "tick");
  if (state->ticks == 3) RunLoopExecuteDeferredFunc(ExitNow, nullptr, 0, "exit");
}

TEST_F(RunLoopFixture, TimersDeferTheirWorkToTheRunLoop) {
  TickState state{&recorder};
  state.timer = TimerCreate(Tick, &state, 20000, TRUE);  // 2 ms, periodic
  ASSERT_NE(state.timer, nullptr);
  RunLoopExecuteDeferredFunc(Record, &recorder, 1, "first");
  uint64_t start = fw.Now100ns();
  EXPECT_EQ(RunLoopRun(), 0);
  EXPECT_EQ(recorder.ran, (std::vector<int>{1, 101, 102, 103}));
  EXPECT_GE(fw.Now100ns() - start, 60000u);
  TimerDestroy(state.timer);
  EXPECT_EQ(fw.LiveEvents(), 0u);
}

TEST_F(RunLoopFixture, SleepLetsNotificationsRunButNotTheQueue) {
  TickState state{&recorder};
  state.timer = TimerCreateAtCallbackLevel(Tick, &state, 100000, TRUE);
  ASSERT_NE(state.timer, nullptr);
  RunLoopExecuteDeferredFunc(Record, &recorder, 7, "queued");
  uint64_t start = fw.Now100ns();
  EXPECT_EQ(RunLoopSleep(25), 0);
  EXPECT_GE(fw.Now100ns() - start, 250000u);
  EXPECT_EQ(state.ticks, 2);
  EXPECT_TRUE(recorder.ran.empty());
  TimerDestroy(state.timer);
  fw.FailNthAllocation(1);
  EXPECT_EQ(RunLoopSleep(1), 1);
  EXPECT_NE(CapturedLog().find("sleep timer create failed"), std::string::npos);
  RunLoop* loop = RunLoopGetCurrent();
  RunLoopExit();
  EXPECT_EQ(RunLoopRun(loop), 0);
  EXPECT_EQ(recorder.ran, (std::vector<int>{7, 101, 102}));  // what the ticks deferred waited
}

TEST(Timer, ArmsPlainAndNotifyingEventsAndClosesThem) {
  TestFirmware fw;
  EFI_EVENT plain = TimerCreate(nullptr, nullptr, 5000, FALSE);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(gBS->CheckEvent(plain), EFI_NOT_READY);
  fw.Advance100ns(5000);
  EXPECT_EQ(gBS->CheckEvent(plain), EFI_SUCCESS);
  TimerDestroy(plain);
  TimerDestroy(nullptr);
  fw.FailNthAllocation(1);
  EXPECT_EQ(TimerCreate(nullptr, nullptr, 1, TRUE), nullptr);
  EXPECT_EQ(fw.LiveEvents(), 0u);
}

TEST(RecursiveTplLock, OnlyTheOutermostAcquireBelowNotifyRaisesThePriority) {
  TestFirmware fw;
  RecursiveTplLock lock;
  RecursiveTplLockInit(&lock);
  RecursiveTplLockAcquire(&lock);
  EXPECT_EQ(fw.CurrentTpl(), TPL_NOTIFY);
  RecursiveTplLockAcquire(&lock);
  EXPECT_EQ(RecursiveTplLockRelease(&lock), EFI_SUCCESS);
  EXPECT_EQ(fw.CurrentTpl(), TPL_NOTIFY);
  EXPECT_EQ(RecursiveTplLockRelease(&lock), EFI_SUCCESS);
  EXPECT_EQ(fw.CurrentTpl(), TPL_APPLICATION);
  EXPECT_EQ(RecursiveTplLockRelease(&lock), EFI_NOT_READY);
  // From a notification function the lock only counts.
  EFI_TPL old = gBS->RaiseTPL(TPL_NOTIFY);
  RecursiveTplLockAcquire(&lock);
  EXPECT_FALSE(lock.held);
  EXPECT_EQ(RecursiveTplLockRelease(&lock), EFI_SUCCESS);
  EXPECT_EQ(fw.CurrentTpl(), TPL_NOTIFY);
  gBS->RestoreTPL(old);
}

}  // namespace
