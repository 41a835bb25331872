// The maker's beep-generator protocol on generic firmware (`beep` in platform.cfg): silent,
// every call reported on the serial port in one line:
//   platform: beep: Prepare count 1, tone 0, pause 400
//   platform: beep: Beep count 2, tone 200, pause 150
#pragma once

#include "efi/efi.h"

// Asks for the stand-in; installed by InstallBeepService.
void BeepServiceRequest();

// Installs the protocol when it was requested; EFI_NOT_FOUND when not.
EFI_STATUS InstallBeepService();
void RemoveBeepService();
