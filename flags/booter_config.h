// The booter's own settings, read once at start-up from the "bootercfg-once" or
// "bootercfg" firmware variable: text tokens "name=value" with hexadecimal values.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

struct BooterSettings {
  UINT64 log;           // debug-log sinks to enable (bit 0 also selects verbose mode)
  UINT64 debug;         // in-memory log hand-off and time stamps
  UINT64 kc_read_size;  // largest single read of the kernel cache
  UINT64 level;         // category mask of the debug log
};

constexpr UINT64 kBooterDefaultLog = 0;
constexpr UINT64 kBooterDefaultDebug = 0;
constexpr UINT64 kBooterDefaultKcReadSize = 0x100000;
constexpr UINT64 kBooterDefaultLevel = 0x80000000;

// The settings in force; defaults until ReadBooterSettings has run.
extern BooterSettings gBooterSettings;

// Largest settings text read from a variable.
constexpr UINTN kBooterConfigMaxSize = 512;

// Reads "bootercfg-once" (and deletes it) or else "bootercfg" into gBooterSettings.
// Returns EFI_SUCCESS when a variable supplied the text, EFI_NOT_FOUND when the defaults
// stay; a variable too large to read counts as absent (and the one-shot one is still deleted).
[[nodiscard]] EFI_STATUS ReadBooterSettings();

// Applies every known setting found in text to settings; unknown tokens are ignored.
void ParseBooterSettings(ByteSpan text, BooterSettings* settings);

// Looks a name up in white-space separated tokens "name=value" (the last occurrence wins).
// A name without "=" or without digits reads as 0. The value is hexadecimal with an
// optional "0x"; reading stops at the first character that is not a hex digit. A value
// wider than 64 bits makes that occurrence count as garbage (it is skipped).
// Returns false when the name does not occur.
bool BooterConfigLookup(ByteSpan text, const char* name, UINT64* value);
