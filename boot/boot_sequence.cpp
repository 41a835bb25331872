#include "boot/boot_sequence.h"

#include "boot/boot_mode.h"
#include "boot/fatal.h"
#include "boot/stage.h"
#include "efi/efi.h"
#include "lib/host_reset.h"

UINT64 BootModeFlags = 0;
UINT32 CpuSubtype = 3;

namespace {
void ResetBootGlobals() {
  BootModeFlags = 0;
  CpuSubtype = 3;
}
HEARTH_HOST_RESET(ResetBootGlobals);
}  // namespace

EFI_STATUS RunBootSequence() {
  StageMark("Start");

  EFI_STATUS status = EFI_NOT_FOUND;  // no kernel loader yet
  FatalError("Error loading kernel cache (0x%x)\n", status);
}
