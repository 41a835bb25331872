// The fixed sequence of stages from start-up to the jump into the kernel.
#pragma once

#include "efi/types.h"

// Runs the boot: ends in the kernel, in another boot image, or in FailBoot (which exits
// the image, or halts once boot services are gone).
[[noreturn]] void RunBootSequence();
