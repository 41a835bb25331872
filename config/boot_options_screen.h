// The boot-screen calls the options code makes. The boot screen is not part of this build
// yet, so these are stand-ins that do nothing and answer EFI_NOT_FOUND; once it is, they
// call ConnectGraphics, OpenBootGraphics, GetFramebufferInfo and DrawBootGraphics.
#pragma once

#include "efi/types.h"

// ConnectGraphics (mode, hibernate).
[[nodiscard]] EFI_STATUS OptionsConnectGraphics(UINT32 mode, BOOLEAN hibernate);

// OpenBootGraphics, then GetFramebufferInfo and DrawBootGraphics (2), the failure picture.
[[nodiscard]] EFI_STATUS OptionsDrawFailureScreen();
