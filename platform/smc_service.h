// The SMC stand-in: the maker's SMC I/O protocol over a small table of four-character keys
// that the settings file fills (`smc KEY VALUE`), so that hearth's SMC readers (the boot
// key slot "HBKP", power and battery values) have something to read on generic firmware.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/tarn_smc.h"

constexpr UINTN kSmcServiceMaxKeys = 32;
constexpr UINTN kSmcServiceMaxValueSize = 32;

// Adds a key or replaces its value (1 to 32 bytes, stored as the controller keeps them:
// numbers big-endian). EFI_INVALID_PARAMETER for a missing value or a bad size,
// EFI_OUT_OF_RESOURCES when the table is full.
[[nodiscard]] EFI_STATUS SmcServiceSetKey(UINT32 key, const UINT8* value, UINTN size);

// The key takes values (count x size bytes) in turn, one every seconds, from the first and
// over again after the last; the first is set now. Timers start with InstallSmcService.
// EFI_INVALID_PARAMETER for a bad size, count or period, EFI_OUT_OF_RESOURCES when the
// schedule or key table is full.
constexpr UINTN kSmcServiceMaxSchedules = 8;
constexpr UINTN kSmcServiceMaxScheduleValues = 16;
[[nodiscard]] EFI_STATUS SmcServiceSchedule(UINT32 key, UINT32 seconds, const UINT8* values, UINTN size, UINTN count);
// What a schedule's timer does: the next value of the key's schedule. For tests.
void SmcServiceAdvanceSchedule(UINTN index);

// Installs the protocol on a new handle when at least one key was set; with no key there is
// no controller at all (EFI_NOT_FOUND, nothing installed), as on a machine without one.
// Reads answer EFI_NOT_FOUND for an unknown key and EFI_INVALID_PARAMETER for a size other
// than the value's; a write replaces a known key's value of the same size and is reported
// on the serial port.
[[nodiscard]] EFI_STATUS InstallSmcService();

// Uninstalls the protocol, stops the schedules and forgets every key.
void RemoveSmcService();

// The four characters of a key ("HBKP"), for reports.
void SmcServiceKeyName(UINT32 key, char name[5]);
