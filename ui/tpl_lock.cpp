#include "ui/tpl_lock.h"

void FirmwareLockInit(FirmwareLock* lock, EFI_TPL tpl) { *lock = FirmwareLock{tpl, TPL_APPLICATION, FALSE}; }

EFI_STATUS FirmwareLockTryAcquire(FirmwareLock* lock) {
  if (lock->acquired) return EFI_ACCESS_DENIED;
  lock->owner_tpl = gBS->RaiseTPL(lock->tpl);
  lock->acquired = TRUE;
  return EFI_SUCCESS;
}

void FirmwareLockRelease(FirmwareLock* lock) {
  if (!lock->acquired) return;
  lock->acquired = FALSE;
  gBS->RestoreTPL(lock->owner_tpl);
}

EFI_TPL CurrentTpl() {
  EFI_TPL current = gBS->RaiseTPL(TPL_HIGH_LEVEL);
  gBS->RestoreTPL(current);
  return current;
}

void RecursiveTplLockInit(RecursiveTplLock* lock) {
  FirmwareLockInit(&lock->lock, TPL_NOTIFY);
  lock->nesting = 0;
  lock->held = FALSE;
}

void RecursiveTplLockAcquire(RecursiveTplLock* lock) {
  if (lock->nesting == 0 && CurrentTpl() < lock->lock.tpl) {
    while (EFI_ERROR(FirmwareLockTryAcquire(&lock->lock))) {
    }
    lock->held = TRUE;
  }
  ++lock->nesting;
}

EFI_STATUS RecursiveTplLockRelease(RecursiveTplLock* lock) {
  if (lock->nesting == 0) return EFI_NOT_READY;
  if (--lock->nesting == 0 && lock->held) {
    lock->held = FALSE;
    FirmwareLockRelease(&lock->lock);
  }
  return EFI_SUCCESS;
}
