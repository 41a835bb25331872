#include "boot/boot_sequence.h"

#include "boot/board_identity.h"
#include "boot/boot_mode.h"
#include "boot/boot_notes.h"
#include "boot/booter_config.h"
#include "boot/fatal.h"
#include "boot/firmware_identity.h"
#include "boot/guids.h"
#include "boot/os_identity.h"
#include "boot/processor.h"
#include "boot/stage.h"
#include "config/boot_options.h"
#include "config/boot_options_stage.h"
#include "diag/device_path_text.h"
#include "diag/log.h"
#include "diag/perf_record.h"
#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/loaded_image.h"
#include "graphics/console_mode.h"
#include "handoff/boot_struct.h"
#include "handoff/kernel_call_gate.h"
#include "handoff/memory.h"
#include "handoff/platform_facts.h"
#include "handoff/platform_init.h"
#include "kernel/boot_file.h"
#include "kernel/kernel_cache.h"
#include "kernel/kernel_image_info.h"
#include "kernel/ramdisk.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

UINT64 BootModeFlags = 0;
UINT32 CpuSubtype = 3;

namespace {

void ResetBootGlobals() {
  BootModeFlags = 0;
  CpuSubtype = 3;
}
HEARTH_HOST_RESET(ResetBootGlobals);

// What the stages hand on to the hand-off; one per run.
struct BootState {
  EFI_LOADED_IMAGE_PROTOCOL* loaded_image = nullptr;
  EFI_DEVICE_PATH_PROTOCOL* boot_device_path = nullptr;
  EFI_FILE_PROTOCOL* root = nullptr;
  KernelImageInfo kernel{};
  BootStructInputs handoff{};
};

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

void FindLoadedImage(BootState* state) {
  void* interface = nullptr;
  if (!EFI_ERROR(gBS->HandleProtocol(gImageHandle, &kEfiLoadedImageProtocolGuid, &interface))) {
    state->loaded_image = static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(interface);
  }
  if (state->loaded_image && state->loaded_image->DeviceHandle) {
    interface = nullptr;
    gBS->HandleProtocol(state->loaded_image->DeviceHandle, &kEfiDevicePathProtocolGuid, &interface);
    state->boot_device_path = static_cast<EFI_DEVICE_PATH_PROTOCOL*>(interface);
  }
}

// A booter started from the recovery folder is the recovery system's own booter.
void NoteRecoveryBooter(const BootState& state) {
  if (!state.loaded_image || !state.loaded_image->FilePath) return;
  CHAR16* text = DevicePathToText(state.loaded_image->FilePath);
  if (!text) return;
  static const CHAR16 kRecoveryFolder[] = u"com.tarn.recovery.boot";
  bool recovery = false;
  for (const CHAR16* p = text; *p && !recovery; ++p) {
    UINTN i = 0;
    while (kRecoveryFolder[i] && p[i] == kRecoveryFolder[i]) ++i;
    recovery = kRecoveryFolder[i] == 0;
  }
  PoolFree(text);
  if (!recovery) return;
  BootModeFlags &= ~(kBootModeEncryptedRoot | kBootModeRecoveryRequested | kBootModeRecovery);
  BootModeFlags |= kBootModeRecovery;
}

void ChooseConsole() {
  if (!(BootModeFlags & kBootModeVerbose)) return;  // the boot logo arrives with the boot screen
  BootModeFlags &= ~kBootModeGraphicsConsole;
  Stage stage("SetConsoleMode");
  SetConsoleMode(kConsoleModeText);
}

EFI_STATUS LoadKernel(BootState* state) {
  KernelCacheRequest request{KernelCachePathOverride(), KernelCacheSuffix(), nullptr, 0};
  const UINT8* location = nullptr;
  UINTN location_size = 0;
  KernelCacheLocationData(&location, &location_size);
  request.FirmwareLocation = location;
  request.FirmwareLocationSize = location_size;
  return LoadKernelCache(&request, nullptr, state->root, &state->kernel);
}

void LoadRamDiskStage(BootState* state) {
  Stage stage("LoadRAMDisk");
  RamDiskRequest request{RamDiskPath(), RamDiskDevicePath()};
  LoadRamDisk(&request, nullptr, state->root);
}

}  // namespace

EFI_STATUS RunBootSequence() {
  BootState state;
  StartDiagnostics();
  IdentifyMachine();
  {
    Stage stage("InitDeviceTree");
    InitDeviceTree();
  }
  CopyKernelCallGate();
  {
    Stage stage("InitMemoryConfig");
    InitMemoryConfig();
  }
  PrepareSlideAndStartKeys();
  FindLoadedImage(&state);
  {
    Stage stage("OpenVolume");
    OpenBooterVolumeRoot(&state.root);
  }
  SelectProcessorSubtype();
  RunProcessOptionsStage(nullptr, state.root);
  NoteRecoveryBooter(state);
  ProcessBootNotes();
  ChooseConsole();

  EFI_STATUS status = LoadKernel(&state);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "ERROR!!! Load prelinked kernel with status 0x%lx\n", status);
    FatalError("Error loading kernel cache (0x%x)\n", status);
  }
  gRT->SetVariable(u"DefaultBackgroundColor", &TarnVendorGuid, 0, 0, nullptr);

  BootStructInputs& handoff = state.handoff;
  handoff.loaded_image = state.loaded_image;
  handoff.boot_device_path = state.boot_device_path;
  handoff.command_line = KernelCommandLine();
  handoff.boot_config = BootConfigDictionary();
  handoff.kernel_file_path = KernelCacheBootFile();
  handoff.kernel_adler32 = KernelCacheAdler32();
  {
    Stage stage("InitBootStruct");
    InitBootStruct(handoff);
  }
  LoadRamDiskStage(&state);
  BootArgs* args = nullptr;
  {
    Stage stage("FinalizeBootStruct");
    args = FinalizeBootStruct(handoff);
  }
  StageMark("End");
  EnterKernel(reinterpret_cast<UINT64>(args), state.kernel.EntryPhysical);
  FatalError("Kernel entry failed\n");
}
