// Writes the firmware variables the settings file lists, so that tests and demos can hand
// hearth "bootercfg", "boot-args", "csr-active-config" and the rest.
#pragma once

#include "efi/efi.h"
#include "platform/settings_parser.h"

// Sets one variable through the runtime services and reports the outcome on the serial
// port. Returns the status of SetVariable.
[[nodiscard]] EFI_STATUS SetSettingsVariable(const SettingsVariable& variable);
