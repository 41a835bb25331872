// The boot screen: the logo (or the failed-boot sign) centred on the background colour,
// the network-boot spinner and the panic dialog.
#pragma once

#include "efi/efi.h"
#include "graphics/picture.h"

constexpr UINT32 kBootScreenNormal = 1;
constexpr UINT32 kBootScreenFailed = 2;

constexpr UINT32 kNetBootFrames = 18;
constexpr UINT64 kNetBootFramePeriod = 1000000;  // 100 ns units: 0.1 s

// The logo for mode 1 or the failed-boot picture for mode 2: a custom picture when the boot
// configuration names one that decodes, else the embedded artwork.
EFI_STATUS LoadBootLogo(UINT32 mode, Picture* picture);

// Mode 1: the background and, unless BlackMode, the logo and on a network boot the spinner.
// Mode 2: the failed-boot picture on the background. Acts only in graphics with a frame
// buffer.
void DrawBootGraphics(UINT32 mode);

// True while the network-boot spinner's timer exists.
bool AnimationRunning();
// Closes the spinner's timer (failure path); the spinner stays where it is.
void CloseAnimationTimer();
// Closes the timer and clears the spinner's rectangle to the background.
void StopAnimation();
// The spinner's frame shown now (0 .. 17).
UINT32 AnimationFrame();

// Fills the screen with the background and draws the panic picture centred.
EFI_STATUS DrawPanicDialog();
