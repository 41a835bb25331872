// What the keyboard-layout flag picker remembers across boots, in the boot-variable
// namespace: "flagstate" (the chosen layout's state string "NUMBER_PREFIX", 32 bytes
// zero-padded) and "flagarchiveID" (4 bytes, the identifier of the archive the choice refers
// to). It also reads the installed system's keyboard preference "prev-lang:kbd"
// ("LANGUAGE:LAYOUT-NUMBER") and maps it to one of the "others" layouts.
//
// Results are small integers: 0 success, 1 failure (logged with the operation's name).
#pragma once

#include "efi/types.h"

constexpr UINTN kFlagStateSize = 32;
constexpr UINTN kFlagPrefValueMax = 32;
// Used when the archive carries no "flag_picker_indetifier.int32".
constexpr UINT32 kFlagPickerDefaultArchiveIdentifier = 181;
constexpr UINT32 kFlagLayoutNumberCount = 72;

// The layout numbers of the installed system, by the position of the "others" item that
// stands for them.
extern const INT32 kFlagLayoutNumbers[kFlagLayoutNumberCount];

// "%d_%s" into out (kFlagStateSize bytes, zero-padded). 1 when it does not fit.
UINTN FlagPickerStateString(UINT32 number, const char* prefix, char out[kFlagStateSize]);

// Writes both variables. 1 when either write fails.
UINTN FlagPickerSaveState(const char state[kFlagStateSize], UINT32 archive_identifier);

// The remembered state string (NUL-terminated in state) when it was stored for the archive
// with archive_identifier. 1 when nothing is stored or it belongs to another archive (the
// stale lines are logged).
UINTN FlagPickerStoredState(UINT32 archive_identifier, char state[kFlagStateSize + 1]);

// The layout number of a "prev-lang:kbd" value: after the first ':', tabs and spaces, an
// optional '-', decimal digits. 1 when there is no ':' or no digit.
UINTN FlagPickerParsePreference(const char* value, UINTN length, INT32* layout_number);

// The state string of the "others" item the installed system's preference names:
// "%d_flag_other" with the first position of the layout number in kFlagLayoutNumbers.
// 1 ("No state found for IA Pref") when the variable is missing, unreadable or unknown.
UINTN FlagPickerStateFromPreference(char state[kFlagStateSize]);
