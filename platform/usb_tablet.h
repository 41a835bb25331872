// QEMU's USB tablet for firmware that has no driver for it (Debian's OVMF binds USB
// keyboards only): the tablet's reports are read through the firmware's USB I/O protocol
// and offered as an absolute pointer, which the input stand-ins then use.
#pragma once

#include "efi/efi.h"

// Finds the tablet (vendor 0x0627, product 0x0001) among the USB I/O handles, starts its
// interrupt transfer and installs the absolute pointer. EFI_NOT_FOUND without a tablet.
EFI_STATUS InstallUsbTablet();
void RemoveUsbTablet();
