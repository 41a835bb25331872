// The fixed sequence of stages from start-up to the jump into the kernel.
#pragma once

#include "efi/types.h"

// Runs the boot. Returns only when the kernel call gate comes back, after FailBoot.
EFI_STATUS RunBootSequence();
