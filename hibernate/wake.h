// How the machine woke: a dark wake (no graphics, the system goes back to sleep soon) or a
// lit one, from the SMC's wake reason, and the screen lock state the restored system shows.
#pragma once

#include "efi/protocols/tarn_smc.h"
#include "efi/types.h"

struct WakeKind {
  bool dark;
  bool reason_read;  // the SMC gave a wake reason
  UINT8 reason;
};

// smc may be null. An encrypted-volume image always wakes lit; "next-wake-type" = 1 forces a
// lit wake. A lit wake with a readable reason writes WKTP = 0.
WakeKind DecideWakeKind(TarnSmcIoProtocol* smc, bool encrypted_volume);

// The value of "IOScreenLockState": 4 for an encrypted-volume image, 1 without a lock time,
// 3 when the lock time is at or before now - 1, 2 otherwise.
UINT32 ScreenLockState(bool encrypted_volume, UINT32 lock_time, UINT32 now);
