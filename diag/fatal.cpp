#include "diag/fatal.h"

#include <stdarg.h>

#include "diag/log.h"
#include "efi/efi.h"
#include "hw/hw.h"
#include "lib/host_reset.h"
#include "memory/memory.h"
#include "output/console.h"
#include "output/console_mode.h"
#include "output/error_report.h"

namespace {
void (*gDrawFailureScreen)() = nullptr;
void (*gWipeSecrets)() = nullptr;

void ForgetFailureScreen() {
  gDrawFailureScreen = nullptr;
  gWipeSecrets = nullptr;
}
HEARTH_HOST_RESET(ForgetFailureScreen);
}  // namespace

void SetFailureScreen(void (*draw)()) { gDrawFailureScreen = draw; }
void SetFailureWipe(void (*wipe)()) { gWipeSecrets = wipe; }

void FatalError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  (void)ReportErrorV(EFI_ABORTED, format, args);
  va_end(args);
  FailBoot(EFI_ABORTED);
}

void EndBootOnError(EFI_STATUS status) {
  if (EFI_ERROR(status)) FailBoot(EFI_ABORTED);
}

void FailBoot(EFI_STATUS status) {
  // Boot services are gone: nothing to hand back and nowhere to return to.
  if (!gBS) HwHalt();
  (void)RestoreConsoleMode();
  if (gDrawFailureScreen) gDrawFailureScreen();
  LogShutdown();
  if (gWipeSecrets) gWipeSecrets();
  ReleaseAllAllocations();
  if (GetConsoleMode() == kConsoleModeText) ConsolePrint("Boot failed, sleeping for 10 seconds before exiting...\n");
  gBS->Stall(10 * 1000 * 1000);
  gBS->Exit(gImageHandle, status, 0, nullptr);
  // Exit does not come back; if a broken firmware lets it, there is nowhere left to go.
  HwHalt();
}
