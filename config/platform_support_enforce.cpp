// The unsupported-platform stop: banner, 30 seconds, power off.
#include "flags/boot_mode.h"
#include "config/boot_options.h"
#include "config/boot_options_screen.h"
#include "config/platform_support.h"
#include "output/console.h"
#include "efi/efi.h"
#include "output/console_mode.h"

namespace {

constexpr UINTN kUnsupportedStallMicroseconds = 30 * 1000 * 1000;

void ShowUnsupportedPlatform(const char* platform) {
  (void)OptionsConnectGraphics(0, FALSE);
  if (BootModeFlags & kBootModeVerbose) {
    (void)SetConsoleMode(kConsoleModeText);
  } else {
    (void)OptionsDrawFailureScreen();
  }
  ConsolePrint("\n***********************************************************\n");
  ConsolePrint("This version of Larkspur is not supported on this platform!\n");
  ConsolePrint("***********************************************************\n");
  ConsolePrint("Reason: %s\n", platform);
}

}  // namespace

void EnforcePlatformSupport(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root) {
  if (!PlatformCheckEnabled()) return;
  const char* platform = PlatformCheckString();
  if (!EFI_ERROR(PlatformCheck(platform, load_file, root))) return;
  ShowUnsupportedPlatform(platform);
  gBS->Stall(kUnsupportedStallMicroseconds);
  gRT->ResetSystem(EfiResetShutdown, EFI_SUCCESS, 0, nullptr);
}
