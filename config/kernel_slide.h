// The kernel slide: how many bytes above its linked addresses the kernel is loaded. It is in
// force only while kBootModeSlide is set in BootModeFlags; the boot options draw or choose it,
// the kernel cache container and the Mach-O loader may cancel it (value 0, flag cleared), and
// the boot-arguments block hands it to the kernel.
#pragma once

#include "efi/types.h"

extern UINT64 KernelSlide;
