// The drawing layer's hold on the display: the graphics device found once per boot, the
// drawing scale factor, and the block transfer of finished pixels to the screen.
#pragma once

#include "draw/geometry.h"

// Once only (later calls succeed without looking again). Sets the scale factor to 1 and
// takes the console output handle's graphics output protocol, or else the first handle
// with both the UGA draw protocol and a device path. Returns the firmware's error when the
// search fails (EFI_NOT_FOUND too when it returned no handle list), EFI_UNSUPPORTED when no
// handle qualified; nothing is kept on failure.
EFI_STATUS DUInitialize();
bool DUIsInitialized();

// The drawing scale factor (1 after DUInitialize; 2 in HiDPI). EFI_INVALID_PARAMETER below 1.
EFI_STATUS DUSetScale(UINT32 factor);
UINT32 DUScaleFactor();

// The current mode's size; {0, 0} before DUInitialize or when the device cannot tell.
DUSize DUDisplaySize();

// Copies rect of pixels (rows of pixels_width) to the same place on the display.
EFI_STATUS DUDisplayTransfer(const DUPixel* pixels, INT32 pixels_width, const DURect& rect);
