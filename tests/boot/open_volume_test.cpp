#include <gtest/gtest.h>

#include "flags/boot_mode.h"
#include "boot/boot_root.h"
#include "boot/volume.h"
#include "efi/protocols/load_file.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

// The booter on a GPT partition of a SATA disk, with its loaded-image record.
class OpenVolumeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS); }

  void Boot(const std::u16string& booter_path = u"\\System\\Library\\CoreServices\\hearth.efi",
            const std::u16string& options = u"") {
    device_ = fs_.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
    file_path_ = DevicePathBuilder().FilePath(booter_path).Build();
    options_ = options;
    image_.DeviceHandle = device_;
    image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
    image_.LoadOptions = options_.empty() ? nullptr : options_.data();
    image_.LoadOptionsSize = static_cast<UINT32>(options_.size() * 2);
    fw_.InstallProtocol(fw_.ImageHandle(), kEfiLoadedImageProtocolGuid, &image_);
  }

  // Runs OpenVolume; the name of the root directory chosen ("" for the volume root).
  TestFirmware::RunResult Run() {
    return fw_.Run([] {
      OpenVolume();
      return EFI_SUCCESS;
    });
  }

  std::string RootName() {
    if (gBootVolume.root == gBootVolume.volume_root) return "";
    UINT8 buffer[512];
    UINTN size = sizeof(buffer);
    EXPECT_EQ(gBootVolume.root->GetInfo(gBootVolume.root, &kEfiFileInfoGuid, &size, buffer), EFI_SUCCESS);
    return ToAscii(reinterpret_cast<EFI_FILE_INFO*>(buffer)->FileName);
  }

  bool BootRootActive() {
    DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", false);
    return chosen && DeviceTreeFindProperty(chosen, "bootroot-active");
  }

  TestFirmware fw_;
  MemoryFileSystem fs_;
  EFI_HANDLE device_ = nullptr;
  std::vector<uint8_t> file_path_;
  std::u16string options_;
  EFI_LOADED_IMAGE_PROTOCOL image_{};
};

TEST_F(OpenVolumeTest, KernelOnTheVolumeKeepsTheVolumeRootAndNeverLooksAtBootRoots) {
  fs_.AddFile("\\System\\Library\\Kernels\\kernel", "k");
  fs_.AddDirectory("\\com.tarn.boot.R");
  fs_.AddDirectory("\\com.tarn.boot.P");
  Boot();
  int opens_before = fs_.Calls(MemoryFileSystem::Op::kOpen);
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(RootName(), "");
  EXPECT_EQ(fs_.Calls(MemoryFileSystem::Op::kOpen) - opens_before, 1);  // the kernel only
  EXPECT_FALSE(BootModeFlags & kBootModeEncryptedRoot);
  EXPECT_FALSE(BootRootActive());
  EXPECT_EQ(fs_.OpenHandles(), 1u);  // the volume root, kept for later stages
}

struct BootRootCase {
  bool r, p, s;
  const char* chosen;  // "" none
  bool warning;
};

class BootRootTable : public OpenVolumeTest, public ::testing::WithParamInterface<BootRootCase> {};

TEST_P(BootRootTable, PicksTheDirectoryOfTheTable) {
  const BootRootCase& c = GetParam();
  if (c.r) fs_.AddDirectory("\\com.tarn.boot.R");
  if (c.p) fs_.AddDirectory("\\com.tarn.boot.P");
  if (c.s) fs_.AddDirectory("\\com.tarn.boot.S");
  Boot();
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(RootName(), c.chosen);
  bool encrypted = *c.chosen != 0;
  EXPECT_EQ(bool(BootModeFlags & kBootModeEncryptedRoot), encrypted);
  EXPECT_EQ(BootRootActive(), encrypted);
  EXPECT_EQ(fw_.ConsoleText().find("WARNING: all of R,P,S exist: booting from 'R'") != std::string::npos, c.warning);
  // The volume root, and the chosen directory: every other one was closed.
  EXPECT_EQ(fs_.OpenHandles(), encrypted ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(RPS, BootRootTable,
                         ::testing::Values(BootRootCase{true, true, true, "com.tarn.boot.R", true},
                                           BootRootCase{true, true, false, "com.tarn.boot.P", false},
                                           BootRootCase{true, false, true, "com.tarn.boot.R", false},
                                           BootRootCase{true, false, false, "com.tarn.boot.R", false},
                                           BootRootCase{false, true, true, "com.tarn.boot.S", false},
                                           BootRootCase{false, true, false, "com.tarn.boot.P", false},
                                           BootRootCase{false, false, true, "com.tarn.boot.S", false},
                                           BootRootCase{false, false, false, "", false}));

TEST_F(OpenVolumeTest, KeyFileBesideTheBooterMakesItsDirectoryTheRoot) {
  fs_.AddFile("\\EFI\\TARN\\hearth.efi", "x");
  fs_.AddFile("\\EFI\\TARN\\EncryptedRoot.plist.wipekey", "key");
  Boot(u"\\EFI\\TARN\\hearth.efi");
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(RootName(), "TARN");
  EXPECT_TRUE(BootModeFlags & kBootModeEncryptedRoot);
  EXPECT_FALSE(BootRootActive());
}

TEST_F(OpenVolumeTest, BooterPathInSeveralNodesStillNamesItsDirectory) {
  fs_.AddFile("\\EFI\\TARN\\EncryptedRoot.plist.wipekey", "key");
  device_ = fs_.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
  file_path_ = DevicePathBuilder().FilePath(u"\\EFI\\TARN").FilePath(u"hearth.efi").Build();  // "\EFI\TARN/hearth.efi"
  image_.DeviceHandle = device_;
  image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
  fw_.InstallProtocol(fw_.ImageHandle(), kEfiLoadedImageProtocolGuid, &image_);
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(RootName(), "TARN");
}

TEST_F(OpenVolumeTest, BooterInTheVolumeRootLooksForTheKeyFileThere) {
  fs_.AddFile("\\EncryptedRoot.plist.wipekey", "key");
  Boot(u"\\hearth.efi");
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_NE(gBootVolume.root, gBootVolume.volume_root);  // "." opened as its own handle
  EXPECT_TRUE(BootModeFlags & kBootModeEncryptedRoot);
}

TEST_F(OpenVolumeTest, NoKeyFileLeavesThePlainVolumeRoot) {
  fs_.AddFile("\\EFI\\TARN\\hearth.efi", "x");
  Boot(u"\\EFI\\TARN\\hearth.efi");
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(RootName(), "");
  EXPECT_FALSE(BootModeFlags & kBootModeEncryptedRoot);
  EXPECT_EQ(fs_.OpenHandles(), 1u);
}

TEST_F(OpenVolumeTest, LoadOptionsLoseLeadingBlanksOnly) {
  Boot(u"\\hearth.efi", u" \t rp=file:///a.dmg -v ");
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(gBootVolume.load_options)), u"rp=file:///a.dmg -v ");
}

TEST_F(OpenVolumeTest, LoadOptionsOfOnlySpacesGiveAnEmptyText) {
  Boot(u"\\hearth.efi", u"    ");
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  ASSERT_NE(gBootVolume.load_options, nullptr);
  EXPECT_EQ(gBootVolume.load_options[0], 0);
}

TEST(LoadOptions, OddByteCountsAndMissingOptionsStayTerminated) {
  TestFirmware fw;
  const char16_t text[] = u"  ab";
  CHAR16* copy = CopyLoadOptions(text, 7);  // half a character at the end
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy[0], u'a');
  EXPECT_EQ(copy[2], 0);
  PoolFree(copy);
  copy = CopyLoadOptions(nullptr, 40);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy[0], 0);
  PoolFree(copy);
}

TEST_F(OpenVolumeTest, NetworkBootEndsWithoutARootDirectory) {
  EFI_LOAD_FILE_PROTOCOL load_file{};
  device_ = fw_.InstallProtocol(nullptr, kEfiLoadFileProtocolGuid, &load_file);
  std::vector<uint8_t> device_path = DevicePathBuilder().Pci(0x19, 0).Build();
  fw_.InstallProtocol(device_, kEfiDevicePathProtocolGuid, device_path.data());
  file_path_ = DevicePathBuilder().FilePath(u"\\hearth.efi").Build();
  image_.DeviceHandle = device_;
  image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
  fw_.InstallProtocol(fw_.ImageHandle(), kEfiLoadedImageProtocolGuid, &image_);
  ASSERT_EQ(Run().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(gBootVolume.load_file, &load_file);
  EXPECT_EQ(gBootVolume.root, nullptr);
}

TEST_F(OpenVolumeTest, MissingRecordsEndTheBoot) {
  auto result = Run();  // no loaded-image record at all
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kExited);
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_NE(fw_.ConsoleText().find("Can not retrieve a LoadedImageProtocol handle for ImageHandle"),
            std::string::npos);
}

TEST_F(OpenVolumeTest, DeviceWithoutFileSystemOrLoadFileEndsTheBoot) {
  image_.DeviceHandle = fw_.NewHandle();
  std::vector<uint8_t> device_path = DevicePathBuilder().Pci(1, 0).Build();
  fw_.InstallProtocol(image_.DeviceHandle, kEfiDevicePathProtocolGuid, device_path.data());
  file_path_ = DevicePathBuilder().FilePath(u"\\hearth.efi").Build();
  image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
  fw_.InstallProtocol(fw_.ImageHandle(), kEfiLoadedImageProtocolGuid, &image_);
  EXPECT_EQ(Run().status, EFI_ABORTED);
  EXPECT_NE(fw_.ConsoleText().find("Can't get a FileSystem or LoadFile handle for boot volume"), std::string::npos);
}

EFI_STATUS EFIAPI BrokenOpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL*, EFI_FILE_PROTOCOL**) { return EFI_DEVICE_ERROR; }

TEST_F(OpenVolumeTest, VolumeThatWillNotOpenEndsTheBoot) {
  Boot();
  fs_.Protocol()->OpenVolume = BrokenOpenVolume;
  EXPECT_EQ(Run().status, EFI_ABORTED);
  EXPECT_NE(fw_.ConsoleText().find("Can't open booter's root volume"), std::string::npos);
}

}  // namespace
