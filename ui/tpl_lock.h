// Locks of the login toolkit. A firmware lock raises the task priority to its level while it
// is held, so that no notification at or below that level can run in between. The nesting
// lock guards state shared with notification functions (a screen's responders): code already
// running at or above TPL_NOTIFY only counts, code below takes the firmware lock.
#pragma once

#include "efi/efi.h"

struct FirmwareLock {
  EFI_TPL tpl;        // the level the lock raises to
  EFI_TPL owner_tpl;  // the level to restore on release
  BOOLEAN acquired;
};

void FirmwareLockInit(FirmwareLock* lock, EFI_TPL tpl);
// EFI_ACCESS_DENIED when held already; otherwise raises the TPL and takes it.
EFI_STATUS FirmwareLockTryAcquire(FirmwareLock* lock);
void FirmwareLockRelease(FirmwareLock* lock);

// The task priority the processor runs at now (raised to TPL_HIGH_LEVEL and restored at once).
EFI_TPL CurrentTpl();

struct RecursiveTplLock {
  FirmwareLock lock;  // at TPL_NOTIFY
  UINT32 nesting;
  BOOLEAN held;       // this nesting took the firmware lock
};

void RecursiveTplLockInit(RecursiveTplLock* lock);
void RecursiveTplLockAcquire(RecursiveTplLock* lock);
// EFI_NOT_READY when the lock is not held (nothing changes).
EFI_STATUS RecursiveTplLockRelease(RecursiveTplLock* lock);
