// Where the loaded kernel lies and where it starts, in kernel virtual and physical terms.
// Filled by the Mach-O loader, read by the boot-arguments block and the exit to the kernel.
#pragma once

#include "efi/types.h"

struct KernelImageInfo {
  UINT64 LowestPhysical;   // physical address of LowestAddress
  UINT64 HighestPhysical;  // physical address of HighestEnd
  UINT64 EntryPhysical;    // physical address of EntryPoint
  UINT64 LowestAddress;    // lowest kernel address loaded; 0 means none yet
  UINT64 HighestEnd;       // end of the highest kernel range loaded; 0 means none yet
  UINT64 EntryPoint;       // kernel entry point, slide included
};
static_assert(sizeof(KernelImageInfo) == 48);
