// The options' places in the boot sequence.
#pragma once

#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"

// Before "OpenVolume": a random kernel slide (with kBootModeSlide), then the keys held at start.
void PrepareSlideAndStartKeys();

// After the processor subtype: the "ProcessOptions" stage over the booter's load options,
// then the background colour and the platform check (which does not return on an
// unsupported machine). load_file: the network source on a network boot, else null; root:
// the boot volume's root directory. Returns the status of ProcessOptions (a failure is
// logged; the kernel command line then stays empty).
[[nodiscard]] EFI_STATUS RunProcessOptionsStage(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root);
