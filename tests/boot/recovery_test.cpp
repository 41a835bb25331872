#include <gtest/gtest.h>

#include <set>

#include "flags/boot_mode.h"
#include "boot/recovery.h"
#include "diag/device_path_build.h"
#include "efi/protocols/block_io.h"
#include "efi/protocols/tarn_image_verification.h"
#include "memory/memory.h"
#include "testfw/memory_file_system.h"
#include "testfw/memory_mp_services.h"
#include "testfw/test_firmware.h"
#include "tests/boot/signing.h"

namespace {

std::vector<uint8_t> Partition(uint16_t port, uint32_t number) {
  return DevicePathBuilder().Pci(0x1F, 2).Sata(port).HardDrive(number).Build();
}

std::vector<uint8_t> WithBooter(const std::vector<uint8_t>& partition) {
  std::vector<uint8_t> path(partition.begin(), partition.end() - 4);  // without the end node
  std::vector<uint8_t> file = DevicePathBuilder().FilePath(u"\\com.tarn.recovery.boot\\hearth.efi").Build();
  path.insert(path.end(), file.begin(), file.end());
  return path;
}

size_t PathSize(const EFI_DEVICE_PATH_PROTOCOL* path) { return DevicePathPayloadSize(path) + 4; }

// Block devices with file systems; LoadImage succeeds for the ones given a recovery booter.
class RecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fw_.SetImageLoader([this](EFI_DEVICE_PATH_PROTOCOL* path, const void*, UINTN)
                           -> std::optional<TestFirmware::ImageEntry> {
      std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(path), reinterpret_cast<uint8_t*>(path) + PathSize(path));
      attempts_.push_back(bytes);
      if (!booters_.count(bytes)) return std::nullopt;
      return [this, bytes](EFI_HANDLE) {
        started_.push_back(bytes);
        return EFI_LOAD_ERROR;
      };
    });
  }

  MemoryFileSystem& AddVolume(const std::vector<uint8_t>& device_path, bool with_booter) {
    volumes_.push_back(std::make_unique<MemoryFileSystem>());
    volumes_.back()->Install(device_path, {kEfiBlockIoProtocolGuid});
    if (with_booter) booters_.insert(WithBooter(device_path));
    return *volumes_.back();
  }

  EFI_STATUS Find(const std::vector<uint8_t>& boot_path, EFI_HANDLE* image, const PlistNode* config = nullptr) {
    return FindRecoverySystem(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(boot_path.data()),
                              RecoverySearch{config, nullptr}, image);
  }

  TestFirmware fw_;
  std::vector<std::unique_ptr<MemoryFileSystem>> volumes_;
  std::set<std::vector<uint8_t>> booters_;
  std::vector<std::vector<uint8_t>> attempts_;
  std::vector<std::vector<uint8_t>> started_;
};

TEST_F(RecoveryTest, PartitionNumberComesFromTheFirstGptNode) {
  UINT32 number = 0;
  std::vector<uint8_t> path = Partition(0, 7);
  EXPECT_EQ(BootPartitionNumber(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path.data()), &number), EFI_SUCCESS);
  EXPECT_EQ(number, 7u);
  std::vector<uint8_t> mbr = DevicePathBuilder().Pci(1, 0).Node(MEDIA_DEVICE_PATH, MEDIA_HARDDRIVE_DP,
                                                                 std::vector<uint8_t>(38, 1)).Build();
  EXPECT_EQ(BootPartitionNumber(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(mbr.data()), &number), EFI_NOT_FOUND);
}

TEST_F(RecoveryTest, LoadsTheBooterOfTheNextPartitionOnTheSameDisk) {
  AddVolume(Partition(1, 3), true);  // another disk's partition 3
  AddVolume(DevicePathBuilder().Pci(0x1F, 2).Sata(0).Build(), false);  // the whole disk
  AddVolume(Partition(0, 2), false);
  AddVolume(Partition(0, 3), true);
  EFI_HANDLE image = nullptr;
  ASSERT_EQ(Find(Partition(0, 2), &image), EFI_SUCCESS);
  ASSERT_EQ(attempts_.size(), 1u);
  EXPECT_EQ(attempts_[0], WithBooter(Partition(0, 3)));
}

TEST_F(RecoveryTest, WithoutABooterThereThePlainRootGivesUp) {
  AddVolume(Partition(0, 3), false);
  AddVolume(Partition(0, 4), true);
  EFI_HANDLE image = nullptr;
  EXPECT_EQ(Find(Partition(0, 2), &image), EFI_NOT_FOUND);
  EXPECT_EQ(attempts_.size(), 1u);
}

TEST_F(RecoveryTest, EncryptedRootLooksOnItsOwnPartition) {
  BootModeFlags |= kBootModeEncryptedRoot;
  AddVolume(Partition(0, 2), true);
  AddVolume(Partition(0, 3), true);
  EFI_HANDLE image = nullptr;
  ASSERT_EQ(Find(Partition(0, 2), &image), EFI_SUCCESS);
  EXPECT_EQ(attempts_.back(), WithBooter(Partition(0, 2)));
}

std::string BootPlist(const std::string& uuid) {
  return "<plist><dict><key>Root UUID</key><string>" + uuid + "</string></dict></plist>";
}

TEST_F(RecoveryTest, EncryptedRootFallsBackToTheVolumeWithTheSameRootUuid) {
  BootModeFlags |= kBootModeEncryptedRoot;
  bool connected = false;
  static bool* connected_flag;
  connected_flag = &connected;
  AddVolume(Partition(1, 1), true)
      .AddFile("\\com.tarn.boot.P\\Library\\Preferences\\SystemConfiguration\\com.tarn.Boot.plist", BootPlist("AAAA-1"));
  AddVolume(Partition(1, 2), true)
      .AddFile("\\com.tarn.boot.R\\Library\\Preferences\\SystemConfiguration\\com.tarn.Boot.plist", BootPlist("AAAA-2"));
  AddVolume(Partition(1, 4), false);
  std::string ours = BootPlist("AAAA-2");
  PlistNode* config = nullptr;
  ASSERT_EQ(PlistParseDictionary(ours.data(), ours.size(), &config), EFI_SUCCESS);
  EFI_HANDLE image = nullptr;
  EFI_STATUS status = FindRecoverySystem(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(Partition(0, 2).data()),
                                         RecoverySearch{config, [] { *connected_flag = true; }}, &image);
  ASSERT_EQ(status, EFI_SUCCESS);
  EXPECT_TRUE(connected);
  ASSERT_EQ(fw_.Run([&] { return gBS->StartImage(image, nullptr, nullptr); }).status, EFI_LOAD_ERROR);
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(started_[0], WithBooter(Partition(1, 2)));
  PlistFree(config);
}

TEST_F(RecoveryTest, EncryptedRootWithoutRootUuidFindsNothing) {
  BootModeFlags |= kBootModeEncryptedRoot;
  AddVolume(Partition(1, 1), true);
  EFI_HANDLE image = nullptr;
  EXPECT_EQ(Find(Partition(0, 2), &image), EFI_NOT_FOUND);
}

TEST_F(RecoveryTest, StartingTheRecoverySystemReturnsItsStatus) {
  AddVolume(Partition(0, 3), true);
  std::vector<uint8_t> boot = Partition(0, 2);
  EXPECT_EQ(StartRecoverySystem(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(boot.data()), RecoverySearch{}),
            EFI_LOAD_ERROR);
  EXPECT_EQ(started_.size(), 1u);
  boot = Partition(0, 3);
  EXPECT_EQ(StartRecoverySystem(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(boot.data()), RecoverySearch{}),
            EFI_NOT_FOUND);
}

struct NameCase {
  const char* value;
  EFI_STATUS status;
  const char* base;
};

TEST(RecoveryImageName, BaseNameDropsSchemeAndExtension) {
  TestFirmware fw;
  const NameCase cases[] = {
      {"file:///BaseSystem.dmg", EFI_SUCCESS, "\\BaseSystem"},
      {"file://Install/Base.System.dmg", EFI_SUCCESS, "Install\\Base.System"},
      {"file://", EFI_UNSUPPORTED, nullptr},
      {"file:/", EFI_UNSUPPORTED, nullptr},
      {"http://x/Base.dmg", EFI_UNSUPPORTED, nullptr},
      {"FILE:///Base.dmg", EFI_UNSUPPORTED, nullptr},
      {"file:///noextension", EFI_UNSUPPORTED, nullptr},
  };
  for (const NameCase& c : cases) {
    char* base = nullptr;
    EXPECT_EQ(RecoveryImageBaseName(c.value, &base), c.status) << c.value;
    if (c.base) {
      EXPECT_STREQ(base, c.base) << c.value;
    }
    PoolFree(base);
  }
}

// The recovery booter's check of its root disk image, end to end: files on the volume, the
// built-in service, the platform loader's signature stand-in and two application processors.
class RecoveryImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTrustedSignatureService();
    mp_.Install();
    image_ = PatternImage(5 * 65536 + 77);
    fs_.AddFile("\\Images\\Base.chunklist", SignedChunkList(image_, 65536));
    fs_.Install(Partition(0, 3));
    ASSERT_EQ(fs_.Protocol()->OpenVolume(fs_.Protocol(), &root_), EFI_SUCCESS);
  }
  void TearDown() override { root_->Close(root_); }

  EFI_STATUS Verify(const char* option) {
    fs_.AddFile("\\Images\\Base.dmg", image_);
    return VerifyRecoveryImage(option, root_);
  }

  TestFirmware fw_;
  MemoryMpServices mp_{3};
  MemoryFileSystem fs_;
  EFI_FILE_PROTOCOL* root_ = nullptr;
  std::vector<uint8_t> image_;
};

TEST_F(RecoveryImageTest, GoodImageVerifiesOnTheApplicationProcessors) {
  PoolFree(PoolAllocate(1));  // the allocation tracker's own table stays
  size_t blocks = fw_.LivePoolBlocks();
  EXPECT_EQ(Verify("file:///Images/Base.dmg"), EFI_SUCCESS);
  EXPECT_EQ(mp_.ProcessorsUsed(), 2u);
  EXPECT_EQ(fw_.LivePoolBlocks(), blocks);
  EXPECT_EQ(fw_.LiveEvents(), 0u);
  EXPECT_EQ(fs_.OpenHandles(), 1u);
}

TEST_F(RecoveryImageTest, OneChangedByteFailsTheImage) {
  image_[3 * 65536 + 100] ^= 0x80;
  EXPECT_EQ(Verify("file:///Images/Base.dmg"), EFI_NOT_READY);
  EXPECT_LT(fw_.TotalStallMicroseconds(), 60ull * 5'000'000);  // stopped polling at the failure
}

TEST_F(RecoveryImageTest, BadNamesAndMissingFiles) {
  EXPECT_EQ(Verify(nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(Verify(""), EFI_NOT_FOUND);
  EXPECT_EQ(Verify("file:/"), EFI_UNSUPPORTED);
  EXPECT_EQ(Verify("/Images/Base.dmg"), EFI_UNSUPPORTED);
  EXPECT_EQ(Verify("file:///Images/Other.dmg"), EFI_NOT_FOUND);
}

TEST_F(RecoveryImageTest, ForgedChunkListIsRefused) {
  std::vector<uint8_t> list = SignedChunkList(image_, 65536, 0, -1);
  fs_.AddFile("\\Images\\Base.chunklist", list);
  EXPECT_EQ(Verify("file:///Images/Base.dmg"), EFI_SECURITY_VIOLATION);
}

int gFirmwareValidations = 0;
EFI_STATUS EFIAPI FirmwareValidate(TarnImageVerificationProtocol*, const VOID*, UINTN) {
  ++gFirmwareValidations;
  return EFI_ACCESS_DENIED;
}

TEST_F(RecoveryImageTest, FirmwareServiceIsPreferred) {
  TarnImageVerificationProtocol firmware{};
  firmware.ValidateChunkList = FirmwareValidate;
  fw_.InstallProtocol(nullptr, kTarnImageVerificationProtocolGuid, &firmware);
  gFirmwareValidations = 0;
  EXPECT_EQ(Verify("file:///Images/Base.dmg"), EFI_ACCESS_DENIED);
  EXPECT_EQ(gFirmwareValidations, 1);
}

}  // namespace
