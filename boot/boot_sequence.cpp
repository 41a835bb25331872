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
#include "fde/lodestore.h"
#include "fde/key_chain.h"
#include "fde/unlock_key.h"
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
#include "kernel/macho_loader.h"
#include "kernel/ramdisk.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "output/error_report.h"
#include "config/boot_options_screen.h"
#include "graphics/boot_screen.h"
#include "graphics/custom_logo.h"
#include "graphics/display.h"
#include "graphics/display_connect.h"
#include "graphics/failed_boot_image.h"
#include "panic/panic_info.h"

UINT64 BootModeFlags = 0;
UINT32 CpuSubtype = kCpuSubtypeX86_64All;

namespace {

void ResetBootGlobals() {
  BootModeFlags = 0;
  CpuSubtype = kCpuSubtypeX86_64All;
}
HEARTH_HOST_RESET(ResetBootGlobals);

// What the stages hand on to the hand-off; one per run.
struct BootState {
  KernelImageInfo kernel{};
  BootStructInputs handoff{};
  UINT8 hibernate_volume_uuid[16]{};
};

// Every step of the sequence runs the same way: a step that returns a status ends the boot
// on an error (the step has said what went wrong); a step without one decides that itself.
template <typename T>
constexpr bool kIsStatus = false;
template <>
constexpr bool kIsStatus<EFI_STATUS> = true;

template <typename Body>
void RunStep(Body body) {
  if constexpr (kIsStatus<decltype(body())>) {
    EndBootOnError(body());
  } else {
    body();
  }
}

// A named stage: between its "Start NAME" and "End NAME" marks; a failure ends the boot
// before the end mark.
template <typename Body>
void RunStage(const char* name, Body body) {
  Stage stage(name);
  RunStep(body);
}

// Settings, log and performance record: everything later stages report through.
void StartDiagnostics() {
  (void)ReadBooterSettings();  // none found: the defaults
  BootFileSetReadSize(gBooterSettings.kc_read_size);
  LogStart(gBooterSettings);
  (void)PerfRecordStart(0, 0);  // no record asked for, or no memory for one: the boot goes on
  StageMark("Start");
}

// Console, processor, board and firmware identity: everything before the device tree.
EFI_STATUS IdentifyMachine() {
  if (EFI_ERROR(InitConsoleMode())) return ReportError(EFI_DEVICE_ERROR, "Can not initialize console\n");
  if (gBooterSettings.log & kLogSinkConsole) BootModeFlags |= kBootModeVerbose;
  if (BootModeFlags & kBootModeVerbose) (void)SetConsoleMode(kConsoleModeText);
  RecordProcessorFeatures();
  IdentifyBoard();
  AnnounceOperatingSystem();
  StageMark("Start InitDeviceTree");
  LogProcessorState();
  StoreFirmwareIdentity();
  return EFI_SUCCESS;
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
  // Neither can be refused: the Haswell subtype only with the features it needs.
  (void)SetCpuSubtype(kCpuSubtypeX86_64All);
  if (ProcessorSupportsHaswellSubtype()) (void)SetCpuSubtype(kCpuSubtypeX86_64Haswell);
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

// Comes back only when the recovery system could not be started or returned; the boot
// then goes on from the disk.
void StartRecoveryWhenRequested() {
  if (BootModeFlags & kBootModeRecoveryRequested) {
    (void)StartRecoverySystem(gBootVolume.device_path, RecoverySearch{BootConfigDictionary(), nullptr});
  }
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

// A recovery image that fails verification is reported; the boot goes on.
void VerifyRecoveryStage() {
  if (!(BootModeFlags & kBootModeRecovery)) return;
  char image[512];
  EFI_STATUS status = VerifyRecoveryImage(RootImageOption(image, sizeof(image)) ? image : nullptr, gBootVolume.root);
  if (EFI_ERROR(status)) ConsolePrint("ERROR!!! Recovery Image verification fail with status [0x%llx]\n", status);
}

// FailBoot's screen: the spinner stops where it is and the failed-boot picture replaces it.
void DrawFailureScreen() {
  CloseAnimationTimer();
  (void)RestoreConsoleMode();
  DrawBootGraphics(kBootScreenFailed);
}

EFI_STATUS DrawOptionsFailureScreen() {
  EFI_STATUS status = OpenBootGraphics();
  if (EFI_ERROR(status)) return status;
  GetFramebufferInfo(nullptr, nullptr);
  DrawBootGraphics(kBootScreenFailed);
  return EFI_SUCCESS;
}

// Everything secret that a failed boot would otherwise hand back to the firmware unwiped.
void WipeAllSecrets() {
  LodestoreWipeSecrets();
  WipeUnclaimedSecrets();
}

// What the layers below need from the ones above: the boot screen's hooks and the wipe of
// every secret on the failure path.
void RegisterFailurePaths() {
  SetFailureScreen(DrawFailureScreen);
  SetFailureWipe(WipeAllSecrets);
  SetOptionsScreen(OptionsScreen{ConnectGraphics, DrawOptionsFailureScreen});
}

// Graphics preparations: the UI scale and BlackMode.
void ReadDisplayPreferences() {
  ReadHiDPIPreference();
  ReadBlackMode();
}

// Skipped in safe mode, for the recovery booter, while a hibernation waits and with
// "-no_panic_dialog".
void ShowPanicInformationWhenEnabled() {
  if (!PanicReportEnabled() || (BootModeFlags & (kBootModeSafe | kBootModeRecovery | kBootModeHibernate))) return;
  ShowPanicInformation();
}

// Verbose boots keep the text console; the others get the boot logo (unless the login
// window already showed what the user needs).
void ChooseConsole(bool draw_boot_graphics) {
  if (!(BootModeFlags & kBootModeEncryptedConfig)) (void)ConnectGraphics(false, false);
  if (BootModeFlags & kBootModeVerbose) {
    BootModeFlags &= ~kBootModeGraphicsConsole;
    // A console that stays in graphics is no reason to stop.
    RunStage("SetConsoleMode", [] { (void)SetConsoleMode(kConsoleModeText); });
    return;
  }
  // No graphics device: the boot goes on in text.
  RunStage("DrawBootGraphics", [draw_boot_graphics] {
    if (EFI_ERROR(OpenBootGraphics()) || !draw_boot_graphics) return;
    GetFramebufferInfo(nullptr, nullptr);
    DrawBootGraphics(kBootScreenNormal);
  });
}

// The video record, the HiDPI flag and the failed-boot sign for the kernel, then the block.
EFI_STATUS FinalizeForKernel(BootState* state, BootArgs** args) {
  const char* error = nullptr;
  EFI_STATUS status = SetupFailedBootImage(&state->handoff, &error);
  if (EFI_ERROR(status)) return ReportError(status, "%s", error);
  *args = FinalizeBootStruct(state->handoff);
  return EFI_SUCCESS;
}

EFI_STATUS LoadKernel(BootState* state) {
  KernelCacheRequest request{KernelCachePathOverride(), KernelCacheSuffix(), nullptr, 0};
  const UINT8* location = nullptr;
  UINTN location_size = 0;
  KernelCacheLocationData(&location, &location_size);
  request.FirmwareLocation = location;
  request.FirmwareLocationSize = location_size;
  EFI_STATUS status = LoadKernelCache(&request, gBootVolume.load_file, gBootVolume.root, &state->kernel);
  if (status == kStatusKernel32Bit) FailBoot(EFI_UNSUPPORTED);
  if (status == kStatusBootEnding) return status;
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "ERROR!!! Load prelinked kernel with status 0x%lx\n", status);
    return ReportError(status, "Error loading kernel cache (0x%x)\n", status);
  }
  gRT->SetVariable(u"DefaultBackgroundColor", &TarnVendorGuid, 0, 0, nullptr);
  return EFI_SUCCESS;
}

void GatherHandoffInputs(BootState* state) {
  BootStructInputs& handoff = state->handoff;
  handoff.loaded_image = gBootVolume.image;
  handoff.boot_device_path = gBootVolume.device_path;
  handoff.command_line = KernelCommandLine();
  handoff.boot_config = BootConfigDictionary();
  handoff.kernel_file_path = KernelCacheBootFile();
  handoff.kernel_adler32 = KernelCacheAdler32();
}

// A RAM disk that cannot be read is left out; only a failure that ends the boot counts.
EFI_STATUS LoadRamDiskStage() {
  RamDiskRequest request{RamDiskPath(), RamDiskDevicePath()};
  EFI_STATUS status = LoadRamDisk(&request, gBootVolume.load_file, gBootVolume.root);
  return status == kStatusBootEnding ? status : EFI_SUCCESS;
}

}  // namespace

void RunBootSequence() {
  BootState state;
  BootArgs* args = nullptr;
  RunStep(RegisterFailurePaths);
  RunStep(StartDiagnostics);
  RunStep(IdentifyMachine);
  RunStage("InitDeviceTree", InitDeviceTree);
  RunStep(CopyKernelCallGate);
  RunStage("InitMemoryConfig", InitMemoryConfig);
  RunStep([&] { CheckHibernateStage(&state); });
  RunStep(ReadDisplayPreferences);
  RunStep(PrepareSlideAndStartKeys);
  RunStep(OpenVolume);
  RunStep([] { SetBootLogoVolume(gBootVolume.load_file, gBootVolume.root); });
  RunStep(SelectProcessorSubtype);
  // A failure of the options is logged there; the kernel command line then stays empty.
  RunStep([] { (void)RunProcessOptionsStage(gBootVolume.load_file, gBootVolume.root); });
  RunStep(NoteRecoveryBooter);
  RunStep(ShowPanicInformationWhenEnabled);
  RunStep(StartRecoveryWhenRequested);
  RunStep([] { ProcessBootNotes(); });  // what the notes leave is read later; none is a failure
  bool draw_boot_graphics = true;
  RunStep([&] { RunEncryptedRootStages(&draw_boot_graphics, gDisplay.hidpi); });
  RunStep([&] { ChooseConsole(draw_boot_graphics); });
  RunStep(VerifyRecoveryStage);
  RunStep([&] { FinishHibernateStage(state); });
  RunStep([&] { return LoadKernel(&state); });
  RunStep([&] { GatherHandoffInputs(&state); });
  RunStage("InitBootStruct", [&] { InitBootStruct(state.handoff); });
  RunStage("LoadRAMDisk", LoadRamDiskStage);
  if (AnimationRunning()) RunStage("StopAnimation", StopAnimation);
  RunStage("FinalizeBootStruct", [&] { return FinalizeForKernel(&state, &args); });
  StageMark("End");
  WipeUnclaimedSecrets();
  EnterKernel(reinterpret_cast<UINT64>(args), state.kernel.EntryPhysical);
  FatalError("Kernel entry failed\n");
}
