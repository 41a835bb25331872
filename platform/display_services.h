// Stand-ins for the maker's display protocols on generic firmware, each over the firmware's
// graphics output protocol and each reporting its calls on the serial port, so scenarios
// can see what hearth asked for:
//   display connect     ("platform: display connect: ConnectDisplay")
//   frame-buffer info   ("platform: framebuffer info: base 0x80000000, 1024x768, ...")
//   background colour   (the `background-color` directive; absent unless it names one)
//   gamma               ("platform: gamma ramps: 1024 entries, red 0 32768 65472 ...")
// and the choice of the graphics mode before hearth starts (`gop-mode`).
#pragma once

#include "efi/efi.h"
#include "platform/settings_parser.h"

// Switches the graphics output protocol to the mode of that size; the modes on offer are
// reported when none matches.
EFI_STATUS SelectGopMode(UINT32 width, UINT32 height);

EFI_STATUS InstallDisplayConnect();
EFI_STATUS InstallFramebufferInfo();
// Nothing is installed for kAbsent; kFailing installs a protocol whose call fails.
EFI_STATUS InstallBackgroundColor(BackgroundColorMode mode, UINT32 rgb);
EFI_STATUS InstallGamma();

// Removes every display stand-in installed above.
void RemoveDisplayServices();
