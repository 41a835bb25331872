#include "boot/boot_sequence.h"

#include "boot/board_identity.h"
#include "boot/boot_mode.h"
#include "boot/booter_config.h"
#include "boot/fatal.h"
#include "boot/firmware_identity.h"
#include "boot/os_identity.h"
#include "boot/processor.h"
#include "boot/stage.h"
#include "diag/log.h"
#include "diag/perf_record.h"
#include "efi/efi.h"
#include "graphics/console_mode.h"
#include "handoff/kernel_call_gate.h"
#include "handoff/platform_init.h"
#include "kernel/boot_file.h"
#include "lib/host_reset.h"

UINT64 BootModeFlags = 0;
UINT32 CpuSubtype = 3;

namespace {

void ResetBootGlobals() {
  BootModeFlags = 0;
  CpuSubtype = 3;
}
HEARTH_HOST_RESET(ResetBootGlobals);

// Settings, log and performance record: everything later stages report through.
void StartDiagnostics() {
  ReadBooterSettings();
  BootFileSetReadSize(gBooterSettings.kc_read_size);
  LogStart();
  PerfRecordStart(0, 0);
  StageMark("Start");
}

// Console, processor, board and firmware identity: everything before the device tree.
void IdentifyMachine() {
  if (EFI_ERROR(InitConsoleMode())) FatalError("Can not initialize console\n");
  if (gBooterSettings.log & kLogSinkConsole) BootModeFlags |= kBootModeVerbose;
  if (BootModeFlags & kBootModeVerbose) SetConsoleMode(kConsoleModeText);
  RecordProcessorFeatures();
  IdentifyBoard();
  AnnounceOperatingSystem();
  StageMark("Start InitDeviceTree");
  LogProcessorState();
  StoreFirmwareIdentity();
}

void SelectProcessorSubtype() {
  SetCpuSubtype(3);
  if (ProcessorSupportsHaswellSubtype()) SetCpuSubtype(8);
}

EFI_STATUS LoadKernel() {
  return EFI_NOT_FOUND;  // the kernel loader is not part of this build yet
}

}  // namespace

EFI_STATUS RunBootSequence() {
  StartDiagnostics();
  IdentifyMachine();
  {
    Stage stage("InitDeviceTree");
    InitDeviceTree();
  }
  CopyKernelCallGate();
  SelectProcessorSubtype();

  EFI_STATUS status = LoadKernel();
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "ERROR!!! Load prelinked kernel with status 0x%lx\n", status);
    FatalError("Error loading kernel cache (0x%x)\n", status);
  }
  FatalError("Kernel entry failed\n");
}
