// Bringing the display up: the maker's display-connect protocol, the gamma reset that goes
// with it, the saved display configuration's status and the background colour.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/tarn_gamma.h"

// connect_all and connect_display each run the maker's call at most once per boot; with both
// asked, the gamma is reset. Reads "gfx-saved-config-restore-status". Returns the last
// firmware status.
EFI_STATUS ConnectGraphics(bool connect_all, bool connect_display);

// The maker's gamma protocol, looked for once; null when absent.
TarnGammaProtocol* GammaProtocol();

// The background colour from the maker's protocol or the boot configuration; black sets
// kBootModeBlackBackground.
void LoadBackgroundColor();
