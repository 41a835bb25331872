// What the kernel gets from the boot screen: the video record, the HiDPI flag and the
// failed-boot sign it shows itself when it cannot start ("FailedCLUT", "FailedImage").
#pragma once

#include "efi/efi.h"
#include "handoff/boot_struct.h"

// Bytes before the compressed index plane in "FailedImage".
constexpr UINT32 kFailedImageHeaderSize = 32;

// Fills inputs->video (display mode 1 with a graphics console, else 2) and inputs->hidpi,
// copies the "CircleSlash" artwork of this boot into kernel memory and records it in
// "/chosen/memory-map". EFI_OUT_OF_RESOURCES with *error set to the message for the
// fatal path when kernel memory runs out.
EFI_STATUS SetupFailedBootImage(BootStructInputs* inputs, const char** error);
