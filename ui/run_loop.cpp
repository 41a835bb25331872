#include "ui/run_loop.h"

#include "lib/host_reset.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "ui/timer.h"
#include "ui/tpl_lock.h"
#include "draw/log_error.h"

namespace {

// Microseconds an idle loop stalls between looks at its queue or flag.
constexpr UINTN kIdleStallMicroseconds = 100;

RunLoop* gCurrentRunLoop = nullptr;
UINT32 gRefusedDeferrals = 0;
volatile BOOLEAN gSleepElapsed = FALSE;

void ResetRunLoopState() {
  gCurrentRunLoop = nullptr;
  gRefusedDeferrals = 0;
  gSleepElapsed = FALSE;
}
HEARTH_HOST_RESET(ResetRunLoopState);

// Notification functions may defer while the foreground changes the ring: both sides touch
// head and count only with every notification held off.
class QueueGuard {
 public:
  QueueGuard() : old_(gBS->RaiseTPL(TPL_HIGH_LEVEL)) {}
  ~QueueGuard() { gBS->RestoreTPL(old_); }

 private:
  EFI_TPL old_;
};

void EFIAPI SleepElapsed(EFI_EVENT, void*) { gSleepElapsed = TRUE; }

}  // namespace

RunLoop* RunLoopGetCurrent() {
  if (gCurrentRunLoop) return gCurrentRunLoop;
  if (CurrentTpl() > TPL_APPLICATION) {
    // A notification defers first: the allocation tracker is not safe against pre-emption,
    // so the block comes straight from the firmware (PoolFree frees untracked blocks too).
    RunLoop* loop = nullptr;
    if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, sizeof(RunLoop), reinterpret_cast<VOID**>(&loop)))) {
      return nullptr;
    }
    MemZero(loop, sizeof(RunLoop));
    gCurrentRunLoop = loop;
  } else {
    gCurrentRunLoop = static_cast<RunLoop*>(PoolAllocateZero(sizeof(RunLoop)));
  }
  return gCurrentRunLoop;
}

void RunLoopIdle() { gBS->Stall(kIdleStallMicroseconds); }

INTN RunLoopRun(RunLoop* run_loop) {
  if (!run_loop) {
    DULogError("RunLoopRun", "runLoop is NULL");
    return 1;
  }
  for (;;) {
    RunLoopFunction function = nullptr;
    void* context = nullptr;
    UINTN argument = 0;
    const char* name = nullptr;
    INT32 slot = 0;
    BOOLEAN finished = FALSE;
    {
      QueueGuard guard;
      if (run_loop->numberOfFunctions > 0) {
        slot = run_loop->head;
        function = run_loop->functions[slot];
        context = run_loop->contexts[slot];
        argument = run_loop->arguments[slot];
        name = run_loop->names[slot];
      } else {
        finished = run_loop->exit;
      }
    }
    if (finished) break;
    if (run_loop->numberOfFunctions == 0) {
      RunLoopIdle();
      continue;
    }
    if (function && function(run_loop, context, argument) != 0) {
      DULogError("RunLoopRun", "Deferred function failed in runloop (%s)", name ? name : "unnamed");
    }
    QueueGuard guard;
    run_loop->functions[slot] = nullptr;
    --run_loop->numberOfFunctions;
    run_loop->head = (run_loop->head + 1) % INT32(kRunLoopSlots);
  }
  if (gCurrentRunLoop == run_loop) gCurrentRunLoop = nullptr;
  PoolFree(run_loop);
  return 0;
}

INTN RunLoopRun() { return RunLoopRun(RunLoopGetCurrent()); }

INTN RunLoopExecuteDeferredFunc(RunLoop* run_loop, RunLoopFunction function, void* context, UINTN argument,
                                const char* name) {
  if (!run_loop) {
    DULogError("RunLoopExecuteDeferredFunc", "runLoop is NULL");
    return 1;
  }
  INT32 queued = 0;
  UINT32 refusal = 0;
  {
    QueueGuard guard;
    queued = run_loop->numberOfFunctions;
    if (queued < INT32(kRunLoopSlots)) {
      INT32 slot = (run_loop->head + queued) % INT32(kRunLoopSlots);
      run_loop->functions[slot] = function;
      run_loop->contexts[slot] = context;
      run_loop->arguments[slot] = argument;
      run_loop->names[slot] = name;
      ++run_loop->numberOfFunctions;
      return 0;
    }
    refusal = gRefusedDeferrals++;
  }
  DULogError("RunLoopExecuteDeferredFunc", "Cannot defer function (%s), function queue is full (count:%d)",
             name ? name : "unnamed", refusal);
  DULogError("RunLoopExecuteDeferredFunc", "runLoop->numberOfFunctions: %d", queued);
  return -1;
}

INTN RunLoopExecuteDeferredFunc(RunLoopFunction function, void* context, UINTN argument, const char* name) {
  return RunLoopExecuteDeferredFunc(RunLoopGetCurrent(), function, context, argument, name);
}

INTN RunLoopExit() {
  RunLoop* run_loop = RunLoopGetCurrent();
  if (!run_loop) {
    DULogError("RunLoopExit", "runLoop is NULL");
    return 1;
  }
  run_loop->exit = TRUE;
  gCurrentRunLoop = nullptr;
  return 0;
}

INTN RunLoopWaitMilliseconds(UINT32 milliseconds, void (*draw)(void* context), void* context) {
  gSleepElapsed = FALSE;
  EFI_EVENT timer = TimerCreate(SleepElapsed, nullptr, UINT64(milliseconds) * kTimerUnitsPerMillisecond, FALSE);
  if (!timer) {
    DULogError("SleepFunnel", "sleep timer create failed");
    return 1;
  }
  if (draw) draw(context);
  while (!gSleepElapsed) RunLoopIdle();
  TimerDestroy(timer);
  return 0;
}

INTN RunLoopSleep(RunLoop* run_loop, UINT32 milliseconds) {
  if (!run_loop) {
    DULogError("RunLoopSleep", "runLoop is NULL");
    return 1;
  }
  return RunLoopWaitMilliseconds(milliseconds, nullptr, nullptr);
}

INTN RunLoopSleep(UINT32 milliseconds) { return RunLoopSleep(RunLoopGetCurrent(), milliseconds); }
