// Display gamma through the maker's gamma protocol: the corrected ramps of "boot-gamma",
// black, and fades between the two.
#pragma once

#include "efi/efi.h"
#include "graphics/gamma_ramps.h"

// Reads "boot-gamma" and the active display's EDID and expands the ramps (linear when the
// record is missing, malformed or for another display). Marks the ramps loaded.
void LoadBootGamma();
// The ramps in use (after LoadBootGamma).
const GammaRamps& BootGammaRamps();

// Loads the ramps once and hands them to the gamma protocol; nothing without it.
EFI_STATUS ApplyBootGamma();
// All-zero ramps; nothing without the protocol.
EFI_STATUS BlackGamma();
// Fades from black to the ramps (fade_in) or back, in steps over milliseconds. Returns the
// protocol's status, or its absence at once.
EFI_STATUS FadeScreen(UINT32 milliseconds, UINT32 steps, bool fade_in);
