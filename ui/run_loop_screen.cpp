#include "ui/run_loop_screen.h"

namespace {

void DrawScreen(void* screen) { DUScreenDraw(static_cast<DUScreen*>(screen)); }

}  // namespace

EFI_STATUS _deferDrawScreen(RunLoop*, void* screen, UINTN) { return DUScreenDraw(static_cast<DUScreen*>(screen)); }

INTN RunLoopScheduleScreenDraw(DUScreen* screen) {
  RunLoopExecuteDeferredFunc(_deferDrawScreen, screen, 0, "_deferDrawScreen");
  return 0;
}

INTN SleepFunnel(DUScreen* screen, UINT32 milliseconds) {
  return RunLoopWaitMilliseconds(milliseconds, screen ? DrawScreen : nullptr, screen);
}
