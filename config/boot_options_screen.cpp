#include "config/boot_options_screen.h"

EFI_STATUS OptionsConnectGraphics(UINT32 mode, BOOLEAN hibernate) {
  (void)mode;
  (void)hibernate;
  return EFI_NOT_FOUND;
}

EFI_STATUS OptionsDrawFailureScreen() { return EFI_NOT_FOUND; }
