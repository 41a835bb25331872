#include "boot/boot_sequence.h"

#include "machine/board_identity.h"
#include "flags/boot_mode.h"
#include "fde/boot_notes.h"
#include "flags/booter_config.h"
#include "diag/fatal.h"
#include "machine/firmware_identity.h"
#include "flags/guids.h"
#include "machine/os_identity.h"
#include "machine/processor.h"
#include "boot/encrypted_root.h"
#include "boot/recovery.h"
#include "boot/volume.h"
#include "diag/stage.h"
#include "fde/unlock_key.h"
#include "fde/key_chain.h"
#include "hibernate/check_hibernate.h"
#include "config/boot_options.h"
#include "config/boot_options_stage.h"
#include "output/console.h"
#include "diag/device_path_text.h"
#include "diag/log.h"
#include "diag/perf_record.h"
#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/loaded_image.h"
#include "output/console_mode.h"
#include "handoff/boot_struct.h"
#include "handoff/kernel_call_gate.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "handoff/platform_init.h"
#include "files/boot_file.h"
#include "kernel/kernel_cache.h"
#include "kernel/kernel_image_info.h"
#include "kernel/ramdisk.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

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
  KernelImageInfo kernel{};
  BootStructInputs handoff{};
  UINT8 hibernate_volume_uuid[16]{};
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

// Resumes at once, or notes a resume that waits for the encrypted volume's key.
void CheckHibernateStage(BootState* state) {
  bool pending;
  {
    Stage stage("CheckHibernate");
    pending = CheckHibernate(state->hibernate_volume_uuid);
  }
  if (pending) {
    BootModeFlags |= kBootModeHibernate;
  } else {
    StorePersistentMemoryNote();
  }
}

// The volume is unlocked: its key completes the image key, and the resume does not return.
void FinishHibernateStage(const BootState& state) {
  if (!(BootModeFlags & kBootModeHibernate)) return;
  StageMark("Start LookupLodestoreVolumeKey");
  UINT8 key[16];
  UINTN copied = 0;
  if (EFI_ERROR(LookupLodestoreVolumeKey(state.hibernate_volume_uuid, key, sizeof(key), &copied))) copied = 0;
  StageMark("Start FinishFDEHibernate");
  FinishFDEHibernate(key, copied);
}

void SelectProcessorSubtype() {
  SetCpuSubtype(3);
  if (ProcessorSupportsHaswellSubtype()) SetCpuSubtype(8);
}

// A booter started from the recovery folder is the recovery system's own booter.
void NoteRecoveryBooter() {
  if (!gBootVolume.image || !gBootVolume.image->FilePath) return;
  CHAR16* text = DevicePathToText(gBootVolume.image->FilePath);
  bool recovery = text && StrStr16(text, u"com.tarn.recovery.boot");
  PoolFree(text);
  if (!recovery) return;
  BootModeFlags &= ~(kBootModeEncryptedRoot | kBootModeRecoveryRequested | kBootModeRecovery);
  BootModeFlags |= kBootModeRecovery;
}

// The root disk image named by "rp" (or "root-dmg"), NUL-terminated in value; false when none.
bool RootImageOption(char* value, UINTN size) {
  const char* text = nullptr;
  UINTN length = 0;
  if (EFI_ERROR(BootOptionLookup("rp", &text, &length)) && EFI_ERROR(BootOptionLookup("root-dmg", &text, &length))) {
    return false;
  }
  if (length >= size) return false;
  MemCopy(value, text, length);
  value[length] = 0;
  return true;
}

void VerifyRecoveryStage() {
  if (!(BootModeFlags & kBootModeRecovery)) return;
  char image[512];
  EFI_STATUS status = VerifyRecoveryImage(RootImageOption(image, sizeof(image)) ? image : nullptr, gBootVolume.root);
  if (EFI_ERROR(status)) ConsolePrint("ERROR!!! Recovery Image verification fail with status [0x%llx]\n", status);
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
  return LoadKernelCache(&request, gBootVolume.load_file, gBootVolume.root, &state->kernel);
}

void LoadRamDiskStage(BootState* state) {
  Stage stage("LoadRAMDisk");
  RamDiskRequest request{RamDiskPath(), RamDiskDevicePath()};
  LoadRamDisk(&request, gBootVolume.load_file, gBootVolume.root);
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
  CheckHibernateStage(&state);
  PrepareSlideAndStartKeys();
  OpenVolume();
  SelectProcessorSubtype();
  RunProcessOptionsStage(gBootVolume.load_file, gBootVolume.root);
  NoteRecoveryBooter();
  if (BootModeFlags & kBootModeRecoveryRequested) {
    // Comes back only when the recovery system could not be started or returned.
    StartRecoverySystem(gBootVolume.device_path, RecoverySearch{BootConfigDictionary(), nullptr});
  }
  ProcessBootNotes();
  [[maybe_unused]] bool draw_boot_graphics = true;
  RunEncryptedRootStages(&draw_boot_graphics, state.handoff.hidpi);
  ChooseConsole();
  VerifyRecoveryStage();
  FinishHibernateStage(state);

  EFI_STATUS status = LoadKernel(&state);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "ERROR!!! Load prelinked kernel with status 0x%lx\n", status);
    FatalError("Error loading kernel cache (0x%x)\n", status);
  }
  gRT->SetVariable(u"DefaultBackgroundColor", &TarnVendorGuid, 0, 0, nullptr);

  BootStructInputs& handoff = state.handoff;
  handoff.loaded_image = gBootVolume.image;
  handoff.boot_device_path = gBootVolume.device_path;
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
  WipeUnclaimedSecrets();
  EnterKernel(reinterpret_cast<UINT64>(args), state.kernel.EntryPhysical);
  FatalError("Kernel entry failed\n");
}
