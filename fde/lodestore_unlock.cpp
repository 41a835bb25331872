#include "fde/lodestore_unlock.h"

#include "diag/fatal.h"
#include "diag/log.h"
#include "fde/key_chain.h"
#include "fde/recovery_boot_mode.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "output/console.h"

namespace {

constexpr EFI_GUID kGlobalVariableGuid = {0x8BE4DF61, 0x93CA, 0x11D2, {0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C}};
constexpr UINT32 kVariableNonVolatile = 0x1;
constexpr UINT32 kVolatileAccess = 6;

EFI_STATUS AbsentInitializeUsers(LoginUIRecord** out, EFI_HANDLE, EFI_SYSTEM_TABLE*, EFI_FILE_PROTOCOL*, UINT32,
                                 LodestoreUser* const*, LodestoreUser* const*, UINT32, const LoginUICallbacks*) {
  if (out) *out = nullptr;
  return EFI_UNSUPPORTED;
}
EFI_STATUS AbsentRunLoop(LoginUIRecord*, LoginUIExitInfo* exit_info) {
  if (exit_info) *exit_info = LoginUIExitInfo{};
  return EFI_UNSUPPORTED;
}
EFI_STATUS AbsentDestroy(LoginUIRecord*) { return EFI_SUCCESS; }

bool RecoveryLoaderOnVolume(EFI_FILE_PROTOCOL* volume_root) {
  EFI_FILE_PROTOCOL* file = nullptr;
  if (!volume_root || EFI_ERROR(volume_root->Open(volume_root, &file, kRecoveryLoaderPath, EFI_FILE_MODE_READ, 0))) {
    return false;
  }
  file->Close(file);
  return true;
}

// A boot the firmware started on its own (not from a saved option): a volatile
// "PickerEntryReason", else a volatile "BootCurrent" of 0.
bool BootEntryTestPasses() {
  UINT32 attributes = 0;
  UINT32 reason = 0;
  UINTN size = sizeof(reason);
  if (!EFI_ERROR(gRT->GetVariable(u"PickerEntryReason", &TarnVendorGuid, &attributes, &size, &reason))) {
    return !(attributes & kVariableNonVolatile);
  }
  UINT16 current = 0xFFFF;
  size = sizeof(current);
  if (EFI_ERROR(gRT->GetVariable(u"BootCurrent", &kGlobalVariableGuid, &attributes, &size, &current))) return false;
  return !(attributes & kVariableNonVolatile) && current == 0;
}

// EfiLibNamedEventSignal: an interface installed and removed under the event's GUID wakes
// whoever registered for it.
void SignalNamedEvent(const EFI_GUID& guid, const char* name) {
  LogMessage(kLogCategoryStage, "Start EfiLibNamedEventSignal for %s\n", name);
  EFI_HANDLE handle = nullptr;
  if (!EFI_ERROR(gBS->InstallProtocolInterface(&handle, &guid, EFI_NATIVE_INTERFACE, nullptr))) {
    gBS->UninstallProtocolInterface(handle, &guid, nullptr);
  }
  LogMessage(kLogCategoryStage, "End EfiLibNamedEventSignal for %s\n", name);
}

EFI_STATUS InitializeLoginWindow(const LodestoreUnlockInputs& in, const LoginUICallbacks& callbacks,
                                 LoginUIRecord** ui) {
  LodestoreConfig& config = Lodestore().config;
  LogMessage(kLogCategoryStage, "Start LoginWindow Initialize\n");
  EFI_STATUS status = in.login_ui->initialize_users(ui, in.image, in.system_table, in.root, config.panel_count,
                                                    config.panel, config.special, LoginWindowFlags(in), &callbacks);
  LogMessage(kLogCategoryStage, "End LoginWindow Initialize\n");
  if (!EFI_ERROR(status)) return status;
  // A window that failed half-way may hold the display; give it back before the text path.
  if (*ui) in.login_ui->destroy(*ui);
  *ui = nullptr;
  ConsolePrint("ERROR: LoginUI Initialize returned 0x%x\n", status);
  if (status == EFI_VOLUME_CORRUPTED) {
    gRT->SetVariable(u"TARN,PathProperties0000", &TarnVendorGuid, 0, 0, nullptr);
    ConsolePrint("RESTARTING SYSTEM! \n");
    gRT->ResetSystem(EfiResetCold, EFI_SUCCESS, 0, nullptr);
  }
  return status;
}

EFI_STATUS RunLoginWindow(const LodestoreUnlockInputs& in, LoginUIRecord* ui, LoginUIExitInfo* exit_info) {
  SignalNamedEvent(kLoginWindowEnterGuid, "gTarnEfiLoginWindowEnterGuid");
  EFI_STATUS status = in.login_ui->run_loop(ui, exit_info);
  SignalNamedEvent(kLoginWindowExitGuid, "gTarnEfiLoginWindowExitGuid");
  return status;
}

// What the recovery system will find, as the firmware now holds it.
void LogRecoveryBootMode() {
  char value[32] = {};
  UINTN size = sizeof(value) - 1;
  UINT32 attributes = 0;
  EFI_STATUS status = gRT->GetVariable(u"recovery-boot-mode", &TarnBootGuid, &attributes, &size, value);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryStage, "recovery-boot-mode unreadable (0x%x)\n", status);
    return;
  }
  LogMessage(kLogCategoryStage, "recovery-boot-mode \"%s\" (attributes 0x%x)\n", value, attributes);
}

[[noreturn]] void BootRecovery(const LodestoreUnlockInputs& in, const char* announce, const char* mode,
                               const char* failure) {
  ConsolePrint("%s", announce);
  SetRecoveryBootMode(mode, AsciiStrLen(mode), kVolatileAccess);
  LogRecoveryBootMode();
  if (in.boot_recovery) in.boot_recovery(in.context);
  LodestoreWipeSecrets();  // the failed boot frees the key table without looking inside
  FatalError("%s", failure);
}

void PowerOff(const LodestoreUnlockInputs& in, EFI_RESET_TYPE type) {
  if (in.keep_hibernation) in.keep_hibernation();
  gRT->ResetSystem(type, EFI_SUCCESS, 0, nullptr);
}

// The passphrase the window accepted becomes the process KEK.
EFI_STATUS UnwrapWithAcceptedKek() {
  LodestoreState& s = Lodestore();
  if (!s.unlock.user_ident || s.unlock.kek.length == 0) return EFI_ACCESS_DENIED;
  s.kek = s.unlock.kek;
  s.kek_ident = s.unlock.kek_ident;
  return UnwrapVolumeKeys(s.kek, &s.kek_ident);
}

}  // namespace

const LoginUI kLoginUIAbsent = {AbsentInitializeUsers, AbsentRunLoop, AbsentDestroy};

UINT32 LoginWindowFlags(const LodestoreUnlockInputs& in) {
  UINT32 flags = kLoginFlagAlways;
  if (in.hidpi) flags |= kLoginFlagHiDpi;
  if (BootModeFlags & kBootModeHibernate) flags |= kLoginFlagHibernate;
  bool recovery = RecoveryLoaderOnVolume(in.volume_root) ||
                  (in.recovery_partition_found && in.recovery_partition_found(in.context));
  if (recovery) {
    flags |= kLoginFlagRecoveryPresent;
    if (!(BootModeFlags & kBootModeFirmwarePassword) || BootEntryTestPasses()) flags |= kLoginFlagRecoveryAllowed;
  }
  return flags;
}

EFI_STATUS UnlockLodestoreVolumeKey(const LodestoreUnlockInputs& in, bool* draw_boot_graphics) {
  LodestoreState& s = Lodestore();
  if (!s.loaded) return EFI_NOT_READY;
  if (!EFI_ERROR(UnlockWithRevertUser())) return EFI_SUCCESS;
  if (!EFI_ERROR(UnlockWithPresetKek())) {
    *draw_boot_graphics = true;
    return EFI_SUCCESS;
  }
  LoginUICallbacks callbacks = {VerifyPassphrase, &s.unlock, StartPasswordRecovery,
                                const_cast<EFI_DEVICE_PATH_PROTOCOL*>(in.boot_device_path)};
  if (!in.login_ui) return EFI_UNSUPPORTED;
  LoginUIRecord* ui = nullptr;
  EFI_STATUS status = InitializeLoginWindow(in, callbacks, &ui);
  if (EFI_ERROR(status)) return status;
  LoginUIExitInfo exit_info{};
  if (!s.unlock.user_ident) {
    *draw_boot_graphics = false;
    status = RunLoginWindow(in, ui, &exit_info);
  }
  in.login_ui->destroy(ui);  // the display goes back to the mode it had before the window
  if (EFI_ERROR(status)) return status;
  const UINT32 exit_code = exit_info.exit_code;
  if (exit_code == kLoginExitPassphrase && exit_info.user_to_reset) s.reset_ident = exit_info.user_to_reset->ident;
  if (s.recovery_prepared && exit_code != kLoginExitGuest) UndoPasswordRecovery();
  switch (exit_code) {
    case kLoginExitIdle:
    case kLoginExitShutdown:
      PowerOff(in, EfiResetShutdown);
      return EFI_ABORTED;
    case kLoginExitRestart:
      PowerOff(in, EfiResetWarm);
      return EFI_ABORTED;
    case kLoginExitGuest:
      BootRecovery(in, "| ===> BOOT TO GUEST USER\n", "guest", "ERROR!!! Unable to boot recovery guest mode\n");
    case kLoginExitPasswordReset:
      BootRecovery(in, "| ===> BOOT TO FDE RECOVERY\n", "fde-password-reset",
                   "ERROR!!! Unable to boot recovery OS for FDE recovery\n");
    default:
      return UnwrapWithAcceptedKek();
  }
}
