// The boot-screen calls the options code makes (the unsupported-platform stop). The boot
// screen sits above this folder, so the sequence registers its functions at start; until it
// does, both answer EFI_NOT_FOUND and draw nothing.
#pragma once

#include "efi/types.h"

struct OptionsScreen {
  EFI_STATUS (*connect_graphics)(bool connect_all, bool connect_display);
  // OpenBootGraphics, then GetFramebufferInfo and DrawBootGraphics (2), the failure picture.
  EFI_STATUS (*draw_failure_screen)();
};
void SetOptionsScreen(const OptionsScreen& screen);

// ConnectGraphics (connect all, connect display).
[[nodiscard]] EFI_STATUS OptionsConnectGraphics(UINT32 connect_all, BOOLEAN connect_display);

// OpenBootGraphics, then GetFramebufferInfo and DrawBootGraphics (2), the failure picture.
[[nodiscard]] EFI_STATUS OptionsDrawFailureScreen();
