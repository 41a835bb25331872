#include "diag/fatal.h"

#include <stdarg.h>

#include "output/ascii_format.h"
#include "output/console.h"
#include "diag/log.h"
#include "output/serial.h"
#include "output/console_mode.h"
#include "efi/efi.h"
#include "memory/memory.h"
#include "hw/hw.h"
#include "lib/host_reset.h"

namespace {

FailureScreenFunction gFailureScreen = nullptr;

void ResetFailureScreen() { gFailureScreen = nullptr; }
HEARTH_HOST_RESET(ResetFailureScreen);

}  // namespace

void SetFailureScreen(FailureScreenFunction draw) { gFailureScreen = draw; }

void FatalError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (!gBS) {
    // Boot services are gone: nothing left but the serial port and a halt.
    char line[160];
    UINTN n = AsciiVSNPrint(line, sizeof(line), format, args);
    SerialWrite(line, n);
    HwHalt();
  }
  ConsoleVPrint(format, args);
  va_end(args);
  FailBoot(EFI_ABORTED);
}

void FailBoot(EFI_STATUS status) {
  // Cleared first: a failure inside the screen itself must not come back here.
  FailureScreenFunction screen = gFailureScreen;
  gFailureScreen = nullptr;
  if (screen) {
    screen();
  } else {
    RestoreConsoleMode();
  }
  LogShutdown();
  ReleaseAllAllocations();
  if (GetConsoleMode() == kConsoleModeText) ConsolePrint("Boot failed, sleeping for 10 seconds before exiting...\n");
  gBS->Stall(10 * 1000 * 1000);
  gBS->Exit(gImageHandle, status, 0, nullptr);
  // Exit does not come back; if a broken firmware lets it, there is nowhere left to go.
  HwHalt();
}
