#include "config/start_keys.h"

#include "flags/boot_mode.h"
#include "config/boot_options.h"
#include "config/boot_options_screen.h"
#include "config/slide.h"
#include "diag/log.h"
#include "efi/efi.h"
#include "efi/protocols/tarn_firmware_password.h"
#include "efi/protocols/tarn_key_state.h"
#include "lib/host_reset.h"

namespace {

bool gFirmwareApplicationRan = false;

void ResetStartKeys() { gFirmwareApplicationRan = false; }
HEARTH_HOST_RESET(ResetStartKeys);

constexpr UINTN kMaxKeys = 32;

struct HeldKeys {
  UINT16 modifiers = 0;
  UINTN count = 0;
  CHAR16 keys[kMaxKeys] = {};

  bool Has(UINT16 key) const {
    for (UINTN i = 0; i < count; ++i) {
      if (keys[i] == key) return true;
    }
    return false;
  }
  bool Command() const { return (modifiers & kTarnKeyModifierCommand) != 0; }
};

template <typename T>
T* Locate(const EFI_GUID& guid) {
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&guid, nullptr, &interface))) return nullptr;
  return static_cast<T*>(interface);
}

void ReadFirmwarePassword() {
  auto* password = Locate<TarnFirmwarePasswordProtocol>(kTarnFirmwarePasswordProtocolGuid);
  if (!password || !password->CheckPasswordEnabled) return;
  UINT64 enabled = 0;
  if (!EFI_ERROR(password->CheckPasswordEnabled(password, &enabled)) && enabled) {
    BootModeFlags |= kBootModeFirmwarePassword;
  }
}

void ReadHeldKeys(HeldKeys* held) {
  auto* state = Locate<TarnKeyStateProtocol>(kTarnKeyStateProtocolGuid);
  if (!state || !state->ReadKeyState) return;
  UINTN count = kMaxKeys;
  if (EFI_ERROR(state->ReadKeyState(state, &held->modifiers, &count, held->keys))) {
    *held = HeldKeys{};
    return;
  }
  held->count = count < kMaxKeys ? count : kMaxKeys;
}

void SwitchSlideOff() {
  BootModeFlags &= ~kBootModeSlide;
  KernelSlideDisabled = 1;
}

// Under a firmware password the keys choose nothing; Command-R runs the firmware's own
// application, which asks for the password before recovery may start.
void HandleFirmwarePasswordRecovery() {
  if (!(BootModeFlags & kBootModeRecoveryRequested) || StartedFromPicker() || gFirmwareApplicationRan) return;
  (void)OptionsConnectGraphics(1, FALSE);
  if (EFI_ERROR(StartFirmwareApplication())) {
    BootModeFlags &= ~kBootModeRecoveryRequested;
    return;
  }
  gFirmwareApplicationRan = true;
}

void ApplyCommandKeys(const HeldKeys& held) {
  if (held.Has(kTarnKeyV)) {
    BootModeFlags |= kBootModeVerbose;
    LogSetSinks(kLogSinkConsole, kLogSinkEnable);
  }
  if (held.Has(kTarnKeyS)) {
    if (held.Has(kTarnKeyMinus)) {
      SwitchSlideOff();
    } else {
      BootModeFlags |= kBootModeSingleUser;
    }
  }
  if (held.Has(kTarnKeyX)) BootModeFlags |= kBootModeKeyX;
  if (held.Has(kTarnKeyR)) BootModeFlags |= kBootModeRecoveryRequested;
  if (held.Has(kTarnKeyC) && held.Has(kTarnKeyMinus)) DisablePlatformCheck();
  if (held.Has(kTarnKeyK)) BootModeFlags |= kBootModeReleaseKernelCache;
}

}  // namespace

bool FirmwareApplicationRan() { return gFirmwareApplicationRan; }

void ReadKeysHeldAtStart() {
  ReadFirmwarePassword();
  if (BootModeFlags & kBootModeHibernate) return;
  HeldKeys held;
  ReadHeldKeys(&held);
  if (held.Command() && held.Has(kTarnKeyR)) BootModeFlags |= kBootModeRecoveryRequested;
  if (BootModeFlags & kBootModeFirmwarePassword) {
    HandleFirmwarePasswordRecovery();
    return;
  }
  if ((held.modifiers & kTarnKeyModifierShift) && !(held.modifiers & ~kTarnKeyModifierShift)) {
    BootModeFlags |= kBootModeSafe;
    if (BootModeFlags & kBootModeSlide) SwitchSlideOff();
    return;
  }
  if (held.Command()) ApplyCommandKeys(held);
}
