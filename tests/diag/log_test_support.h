// Shared pieces of the debug-log tests.
#pragma once

#include <string>
#include <vector>

#include "flags/booter_config.h"
#include "diag/log.h"
#include "efi/protocols/simple_text_output.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

// A console that keeps every OutputString call separately, so chunk boundaries show.
struct RecordingConsole {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL protocol{};
  std::vector<std::string> calls;

  static EFI_STATUS EFIAPI Output(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* self, const CHAR16* text) {
    auto* console = reinterpret_cast<RecordingConsole*>(self);
    console->calls.push_back(ToAscii(text));
    return EFI_SUCCESS;
  }
  explicit RecordingConsole(TestFirmware& fw) {
    protocol.OutputString = Output;
    fw.SystemTable()->ConOut = &protocol;
  }
  std::string All() const {
    std::string out;
    for (const auto& c : calls) out += c;
    return out;
  }
};

inline const EFI_GUID kInternalStorageVendorGuid = {0xAE635B51, 0xF58B, 0x4F80, {0xB7, 0x11, 0x79, 0xDB, 0xA3, 0xB5, 0x8A, 0x45}};

// An EFI system partition on an internal SATA disk.
inline std::vector<uint8_t> InternalSataPath() {
  return DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(1).Build();
}
inline std::vector<uint8_t> UsbStickPath() {
  return DevicePathBuilder().Acpi().Pci(0x14, 0).Usb(3).HardDrive(1).Build();
}

// Settings for a test: set after the TestFirmware exists (it restores the defaults).
inline void UseLogSettings(UINT64 log, UINT64 debug = 0, UINT64 level = kBooterDefaultLevel) {
  gBooterSettings.log = log;
  gBooterSettings.debug = debug;
  gBooterSettings.level = level;
}
