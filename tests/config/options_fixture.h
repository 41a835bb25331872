// A booter started from a volume: the loaded image, its volume and the options code's inputs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flags/boot_mode.h"
#include "flags/booter_config.h"
#include "flags/guids.h"
#include "config/boot_options.h"
#include "diag/log.h"
#include "efi/protocols/loaded_image.h"
#include "hw/fake/hw_fake.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

constexpr const char* kBooterDirectory = "\\System\\Library\\CoreServices\\";
constexpr const char* kStandardConfig = "\\Library\\Preferences\\SystemConfiguration\\com.tarn.Boot.plist";

inline std::string PlistDict(const std::string& members) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + members + "</dict>\n</plist>\n";
}
inline std::string StringMember(const std::string& key, const std::string& value) {
  return "<key>" + key + "</key><string>" + value + "</string>\n";
}

class BooterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    file_path_ = DevicePathBuilder().FilePath(u"\\System\\Library\\CoreServices\\hearth.efi").Build();
    InstallBooter(DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
  }
  void TearDown() override {
    if (root_) root_->Close(root_);
  }

  void InstallBooter(const std::vector<uint8_t>& device_path) {
    fs_.Install(device_path);
    image_.DeviceHandle = fs_.Handle();
    image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
    fw_.InstallProtocol(fw_.ImageHandle(), kEfiLoadedImageProtocolGuid, &image_);
    ASSERT_EQ(fs_.Protocol()->OpenVolume(fs_.Protocol(), &root_), EFI_SUCCESS);
  }

  void SetBootArgs(const std::string& text) { fw_.SetVariable(u"boot-args", TarnBootGuid, text); }
  void SetCsr(uint32_t value) {
    fw_.SetVariable(u"csr-active-config", TarnBootGuid, 7,
                    {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
  }
  void AddConfig(const std::string& path, const std::string& members) { fs_.AddFile(path, PlistDict(members)); }
  void AddBooterConfig(const std::string& members) {
    AddConfig(std::string(kBooterDirectory) + "com.tarn.Boot.plist", members);
  }

  // Runs ProcessOptions with these load options; the command line, or "<failed>".
  std::string Process(const std::u16string& options = u"", EFI_LOAD_FILE_PROTOCOL* load_file = nullptr) {
    const char* line = nullptr;
    status_ = ProcessOptions(load_file, root_, options.empty() ? nullptr : options.data(),
                             options.size() * sizeof(CHAR16), &line);
    return EFI_ERROR(status_) ? "<failed>" : std::string(line);
  }

  TestFirmware fw_;
  MemoryFileSystem fs_;
  EFI_LOADED_IMAGE_PROTOCOL image_{};
  std::vector<uint8_t> file_path_;
  EFI_FILE_PROTOCOL* root_ = nullptr;
  EFI_STATUS status_ = EFI_SUCCESS;
};
