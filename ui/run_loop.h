// The run loop: a ring of 128 deferred functions that the foreground runs one at a time, in
// the order they were deferred, until told to exit. Notification functions (timers, input
// handlers) defer their work here instead of drawing or changing views themselves.
//
// One run loop is current for the whole program; the forms without a run loop argument use
// it and create it on first use. RunLoopExit marks and detaches it: the RunLoopRun that
// drains it frees it once the queue is empty, and the next deferral starts a fresh one.
#pragma once

#include "efi/efi.h"

struct RunLoop;

// A deferred function: (run loop, context, argument); zero means success.
typedef EFI_STATUS (*RunLoopFunction)(RunLoop* run_loop, void* context, UINTN argument);

constexpr UINT32 kRunLoopSlots = 128;

struct RunLoop {
  BOOLEAN exit;
  INT32 head;                // slot of the oldest entry
  INT32 numberOfFunctions;   // entries queued
  RunLoopFunction functions[kRunLoopSlots];
  void* contexts[kRunLoopSlots];
  UINTN arguments[kRunLoopSlots];
  const char* names[kRunLoopSlots];  // for log lines only
};

// Runs the loop until its exit flag is set and its queue is empty, then frees it. 0, or 1
// for a null loop ("runLoop is NULL"). Failing functions are logged and the loop goes on.
INTN RunLoopRun(RunLoop* run_loop);
INTN RunLoopRun();

// Queues function. 0 queued; 1 for a null loop; -1 when 128 entries are queued already (the
// entry is dropped and the refusal logged with a count of earlier refusals).
INTN RunLoopExecuteDeferredFunc(RunLoop* run_loop, RunLoopFunction function, void* context, UINTN argument,
                                const char* name);
INTN RunLoopExecuteDeferredFunc(RunLoopFunction function, void* context, UINTN argument, const char* name);

// Sets the current loop's exit flag (creating one if needed) and detaches it. 0, or 1 when
// no loop could be created.
INTN RunLoopExit();

// The current loop, created zero-filled on first use; null only when memory runs out.
RunLoop* RunLoopGetCurrent();

// Waits milliseconds with notifications running; nothing queued runs meanwhile. 1 for a
// null loop or when the sleep timer cannot be made.
INTN RunLoopSleep(RunLoop* run_loop, UINT32 milliseconds);
INTN RunLoopSleep(UINT32 milliseconds);

// The wait under RunLoopSleep and SleepFunnel: a one-shot timer at TPL_NOTIFY sets a flag
// that the caller polls; draw (may be null) runs once after the timer is armed. 0, or 1
// when the timer cannot be created ("sleep timer create failed").
INTN RunLoopWaitMilliseconds(UINT32 milliseconds, void (*draw)(void* context), void* context);

// Idle step of the polling loops: a short stall in which timer notifications can run.
void RunLoopIdle();
