// The run loop's work on a screen: drawing it from a deferred function, and the sleep that
// draws it once before it waits.
#pragma once

#include "draw/screen.h"
#include "ui/run_loop.h"

// The deferred function: DUScreenDraw(screen) and its status.
EFI_STATUS _deferDrawScreen(RunLoop* run_loop, void* screen, UINTN argument);
// Defers _deferDrawScreen for screen on the current run loop; always 0.
INTN RunLoopScheduleScreenDraw(DUScreen* screen);
// Waits milliseconds with notifications running, drawing screen (may be null) once after
// the sleep timer is armed. 0, or 1 when the timer cannot be created.
INTN SleepFunnel(DUScreen* screen, UINT32 milliseconds);
