// Keys held down at power-on and the firmware password: the first boot-mode choices.
#pragma once

#include "efi/types.h"

// Asks the firmware password protocol whether a password is set, then (unless a hibernation
// resume is pending) turns the modifiers and keys held down into boot-mode flags: Shift
// alone for safe mode, Command with V, S, S and minus, X, R, C and minus, K. With a firmware
// password only Command-R remains, and it runs the firmware's recovery-password application.
void ReadKeysHeldAtStart();

// The firmware application for Command-R under a firmware password, its file name in
// a firmware volume.
constexpr EFI_GUID kFirmwarePasswordApplicationGuid = {0x9EBA2D25, 0xBBE3, 0x4AC2, {0xA2, 0xC6, 0xC8, 0x7F, 0x44, 0xA1, 0x27, 0x8C}};

// True once that application has run in this boot.
bool FirmwareApplicationRan();

// The boot picker put us here: "PickerEntryReason" exists as a volatile variable, or the
// volatile "BootCurrent" is 0.
bool StartedFromPicker();

// Finds the application in a firmware volume and starts it. EFI_NOT_FOUND when no volume
// holds it; otherwise the status of loading or starting it.
[[nodiscard]] EFI_STATUS StartFirmwareApplication();
