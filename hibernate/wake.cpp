#include "hibernate/wake.h"

#include "efi/efi.h"
#include "flags/guids.h"
#include "machine/smc.h"

namespace {

constexpr UINT32 kSmcKeyWakeType = SmcKey("WKTP");

bool ReasonAlwaysDark(UINT8 reason) { return reason == 0x21 || reason == 0x74; }
bool ReasonAlwaysLit(UINT8 reason) { return reason == 0x19 || reason == 0x70 || reason == 0x72; }

bool ForcedLit() {
  UINT8 value = 0;
  UINTN size = 1;
  return !EFI_ERROR(gRT->GetVariable(u"next-wake-type", &TarnBootGuid, nullptr, &size, &value)) && size == 1 &&
         value == 1;
}

}  // namespace

WakeKind DecideWakeKind(TarnSmcIoProtocol* smc, bool encrypted_volume) {
  WakeKind kind{};
  if (!smc || EFI_ERROR(SmcRead(smc, kSmcKeyWakeReason, 1, &kind.reason))) return kind;
  kind.reason_read = true;
  if (ReasonAlwaysDark(kind.reason)) {
    kind.dark = true;
  } else if (!ReasonAlwaysLit(kind.reason)) {
    UINT8 firmware = 0;
    UINT8 power[2] = {};
    if (!EFI_ERROR(SmcRead(smc, kSmcKeyWakeFirmware, 1, &firmware))) {
      kind.dark = firmware != 1;
    } else if (!EFI_ERROR(SmcRead(smc, kSmcKeyWakePowerState, 2, power))) {
      kind.dark = power[1] < 3;
    }
  }
  if (encrypted_volume) kind.dark = false;
  if (ForcedLit()) kind.dark = false;
  if (!kind.dark) {
    UINT8 zero = 0;
    (void)SmcWrite(smc, kSmcKeyWakeType, 1, &zero);  // a controller that refuses it still wakes lit
  }
  return kind;
}

UINT32 ScreenLockState(bool encrypted_volume, UINT32 lock_time, UINT32 now) {
  if (encrypted_volume) return 4;
  if (lock_time == 0) return 1;
  // A clock of 0 (unreadable, or behind the sleep time) wraps to the largest time: locked.
  if (lock_time <= now - 1u) return 3;
  return 2;
}
