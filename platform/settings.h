// The loader's settings file, \EFI\BOOT\platform.cfg beside the loader on its own volume.
#pragma once

#include "efi/efi.h"
#include "platform/settings_parser.h"

inline constexpr const CHAR16* kSettingsPath = u"\\EFI\\BOOT\\platform.cfg";

// What the settings file chose for the loader itself.
struct PlatformOptions {
  QemuExitPolicy exit_qemu = QemuExitPolicy::kNever;
  bool console_graphics = false;  // the console control stand-in starts in graphics
  BackgroundColorMode background = BackgroundColorMode::kAbsent;
  UINT32 background_rgb = 0;
  UINT32 gop_width = 0;  // 0: leave the firmware's mode
  UINT32 gop_height = 0;
  bool hearth_from_network = false;  // the network's boot file instead of a volume's hearth.efi
  UINT32 network_latency_ms = 0;     // a wait before each network file read
};

// Reads the settings file from the loader's own volume, sets the variables it lists and
// fills options. Malformed lines and failed variable writes are reported on the serial port
// and skipped. A missing file is no error: options keep their defaults.
[[nodiscard]] EFI_STATUS ApplyPlatformSettings(PlatformOptions* options);
