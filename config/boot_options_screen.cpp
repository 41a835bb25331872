#include "config/boot_options_screen.h"

#include "lib/host_reset.h"

namespace {

OptionsScreen gScreen{};

void ResetOptionsScreen() { gScreen = OptionsScreen{}; }
HEARTH_HOST_RESET(ResetOptionsScreen);

}  // namespace

void SetOptionsScreen(const OptionsScreen& screen) { gScreen = screen; }

EFI_STATUS OptionsConnectGraphics(UINT32 connect_all, BOOLEAN connect_display) {
  if (!gScreen.connect_graphics) return EFI_NOT_FOUND;
  return gScreen.connect_graphics(connect_all != 0, connect_display != 0);
}

EFI_STATUS OptionsDrawFailureScreen() {
  if (!gScreen.draw_failure_screen) return EFI_NOT_FOUND;
  return gScreen.draw_failure_screen();
}
