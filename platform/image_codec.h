// The image-codec stand-in: the maker's image conversion protocol for PNG pictures (custom
// boot logos), each decode reported on the serial port.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/tarn_image_conversion.h"

EFI_STATUS InstallImageCodec();
void RemoveImageCodec();
