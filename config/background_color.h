// The background colour the boot screen fills with.
#pragma once

#include "efi/types.h"

constexpr UINT32 kDefaultBackgroundColor = 0x00BFBFBF;

// Asks the firmware's background colour protocol (no protocol: 0); when it cannot answer,
// takes the "Background Color" integer of the boot configuration, else the default. A colour
// whose three bytes are 0 sets kBootModeBlackBackground. Stores it for BackgroundColor().
void ReadBackgroundColor();

// The colour read (low three bytes: blue, green, red); the default until read.
UINT32 BackgroundColor();
