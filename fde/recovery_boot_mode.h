// The recovery system's start for a password reset or a guest, as the login window asks.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"

inline constexpr const CHAR16* kRecoveryLoaderPath = u"\\com.tarn.recovery.boot\\hearth.efi";

// Writes "recovery-boot-mode" (TarnBootGuid) with value[0, length) and attributes, or
// deletes it when value is null, unless its current value begins with "locked"
// (EFI_WRITE_PROTECTED then).
EFI_STATUS SetRecoveryBootMode(const char* value, UINTN length, UINT32 attributes);

// The login window's request: "Boot0081" ("Recovery OS", the boot device path plus the
// recovery loader), "BootNext" = 0x0081 and "recovery-boot-mode" = "fde-recovery".
// context is the boot device path.
EFI_STATUS StartPasswordRecovery(void* context);

// Takes back what StartPasswordRecovery prepared: deletes "BootNext" and
// "recovery-boot-mode" (a "locked" mode stays).
void UndoPasswordRecovery();
