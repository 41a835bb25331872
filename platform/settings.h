// The loader's settings file, \EFI\BOOT\platform.cfg beside the loader on its own volume.
#pragma once

#include "efi/efi.h"
#include "platform/settings_parser.h"

inline constexpr const CHAR16* kSettingsPath = u"\\EFI\\BOOT\\platform.cfg";

// What the settings file chose for the loader itself.
struct PlatformOptions {
  QemuExitPolicy exit_qemu = QemuExitPolicy::kNever;
};

// Reads the settings file from the loader's own volume, sets the variables it lists and
// fills options. Malformed lines and failed variable writes are reported on the serial port
// and skipped. A missing file is no error: options keep their defaults.
[[nodiscard]] EFI_STATUS ApplyPlatformSettings(PlatformOptions* options);
