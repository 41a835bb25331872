#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "config/boot_options.h"
#include "config/slide.h"
#include "config/start_keys.h"
#include "efi/protocols/firmware_volume.h"
#include "efi/protocols/loaded_image.h"
#include "testfw/memory_file_system.h"
#include "testfw/memory_key_state.h"
#include "testfw/test_firmware.h"

namespace {

// A firmware volume that holds (or not) the password application.
struct FakeVolume {
  EFI_FIRMWARE_VOLUME2_PROTOCOL protocol{};
  bool holds = true;
  static EFI_STATUS EFIAPI ReadFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL* self, const EFI_GUID* name, VOID** buffer,
                                    UINTN* size, EFI_FV_FILETYPE* type, EFI_FV_FILE_ATTRIBUTES*, UINT32*) {
    auto* volume = reinterpret_cast<const FakeVolume*>(self);
    if (buffer || !volume->holds || !GuidEqual(*name, kFirmwarePasswordApplicationGuid)) return EFI_NOT_FOUND;
    *size = 4096;
    *type = 9;  // an application
    return EFI_SUCCESS;
  }
  FakeVolume() { protocol.ReadFile = ReadFile; }
};

class StartKeysTest : public ::testing::Test {
 protected:
  void Hold(uint16_t modifiers, std::vector<uint16_t> keys) {
    keys_.Hold(modifiers, std::move(keys));
    keys_.Install();
  }
  // Installs a volume and an image loader; the application's starts are counted.
  void ProvideApplication(bool holds, EFI_STATUS result = EFI_SUCCESS) {
    volume_.holds = holds;
    auto path = DevicePathBuilder().HardwareVendor(kEfiFirmwareVolume2ProtocolGuid).Build();
    volume_path_ = path;
    EFI_HANDLE handle = fw_.InstallProtocol(nullptr, kEfiDevicePathProtocolGuid, volume_path_.data());
    fw_.InstallProtocol(handle, kEfiFirmwareVolume2ProtocolGuid, &volume_.protocol);
    fw_.SetImageLoader([this, result](EFI_DEVICE_PATH_PROTOCOL* p, const void*, UINTN)
                           -> std::optional<TestFirmware::ImageEntry> {
      // The volume's path, then the firmware-file node naming the application.
      auto* node = reinterpret_cast<uint8_t*>(p) + volume_path_.size() - 4;
      if (node[0] != MEDIA_DEVICE_PATH || node[1] != MEDIA_PIWG_FW_FILE_DP || node[2] != 20) return std::nullopt;
      EFI_GUID name;
      std::memcpy(&name, node + 4, sizeof(name));
      if (!GuidEqual(name, kFirmwarePasswordApplicationGuid)) return std::nullopt;
      return [this, result](EFI_HANDLE) {
        ++started_;
        return result;
      };
    });
  }

  TestFirmware fw_;
  MemoryKeyState keys_;
  FakeVolume volume_;
  std::vector<uint8_t> volume_path_;
  int started_ = 0;
};

}  // namespace

TEST_F(StartKeysTest, CommandKeysSelectTheirModes) {
  struct Case {
    std::vector<uint16_t> keys;
    UINT64 set;
  } cases[] = {
      {{kTarnKeyV}, kBootModeVerbose},
      {{kTarnKeyS}, kBootModeSingleUser},
      {{kTarnKeyX}, kBootModeKeyX},
      {{kTarnKeyR}, kBootModeRecoveryRequested},
      {{kTarnKeyK}, kBootModeReleaseKernelCache},
      {{kTarnKeyV, kTarnKeyK}, kBootModeVerbose | kBootModeReleaseKernelCache},
      {{kTarnKeyC}, 0},
  };
  keys_.Install();
  for (const Case& c : cases) {
    BootModeFlags = kBootModeSlide;
    keys_.Hold(0x08, c.keys);  // left Command
    ReadKeysHeldAtStart();
    EXPECT_EQ(BootModeFlags, kBootModeSlide | c.set) << c.keys.front();
  }
  EXPECT_TRUE(PlatformCheckEnabled());
}

TEST_F(StartKeysTest, CommandWithMinusSwitchesSlideAndPlatformCheckOff) {
  BootModeFlags = kBootModeSlide;
  Hold(0x80, {kTarnKeyS, kTarnKeyMinus, kTarnKeyC});  // right Command
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, 0u);  // not single-user: S with minus means no slide
  EXPECT_EQ(KernelSlideDisabled, 1);
  EXPECT_FALSE(PlatformCheckEnabled());
}

TEST_F(StartKeysTest, ShiftAloneSelectsSafeModeButNotWithCommand) {
  BootModeFlags = kBootModeSlide;
  Hold(0x02, {kTarnKeyV});  // left Shift; the V alone counts for nothing
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, kBootModeSafe);
  EXPECT_EQ(KernelSlideDisabled, 1);

  BootModeFlags = kBootModeSlide;
  KernelSlideDisabled = 0;
  keys_.Hold(0x20 | 0x08, {kTarnKeyV});  // right Shift with Command
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, kBootModeSlide | kBootModeVerbose);
  EXPECT_EQ(KernelSlideDisabled, 0);
}

TEST_F(StartKeysTest, NothingIsReadWhileAHibernationResumeWaits) {
  BootModeFlags = kBootModeHibernate;
  MemoryFirmwarePassword password(true);
  password.Install();
  Hold(0x02, {});
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, kBootModeHibernate | kBootModeFirmwarePassword);
  EXPECT_EQ(keys_.Reads(), 0);
}

TEST_F(StartKeysTest, MisbehavingKeyStateIsBounded) {
  Hold(0x08, {kTarnKeyV});
  keys_.ReportCount(1000);  // more than the 32 it had room for
  ReadKeysHeldAtStart();
  EXPECT_TRUE(BootModeFlags & kBootModeVerbose);
  BootModeFlags = 0;
  keys_.FailWith(EFI_DEVICE_ERROR);
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, 0u);
}

TEST_F(StartKeysTest, FirmwarePasswordLeavesOnlyCommandR) {
  MemoryFirmwarePassword password(true);
  password.Install();
  BootModeFlags = kBootModeSlide;
  Hold(0x08, {kTarnKeyV, kTarnKeyS, kTarnKeyX, kTarnKeyK, kTarnKeyMinus, kTarnKeyC});
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, kBootModeSlide | kBootModeFirmwarePassword);
  EXPECT_TRUE(PlatformCheckEnabled());
  BootModeFlags = 0;
  keys_.Hold(0x02, {});  // Shift neither
  ReadKeysHeldAtStart();
  EXPECT_EQ(BootModeFlags, kBootModeFirmwarePassword);
}

TEST_F(StartKeysTest, CommandRUnderAPasswordRunsTheFirmwareApplicationOnce) {
  MemoryFirmwarePassword password(true);
  password.Install();
  ProvideApplication(true);
  Hold(0x08, {kTarnKeyR});
  ReadKeysHeldAtStart();
  EXPECT_EQ(started_, 1);
  EXPECT_TRUE(FirmwareApplicationRan());
  EXPECT_TRUE(BootModeFlags & kBootModeRecoveryRequested);
  ReadKeysHeldAtStart();
  EXPECT_EQ(started_, 1);  // already ran
}

TEST_F(StartKeysTest, CommandRUnderAPasswordWithoutTheApplicationDropsRecovery) {
  MemoryFirmwarePassword password(true);
  password.Install();
  ProvideApplication(false);
  Hold(0x08, {kTarnKeyR});
  ReadKeysHeldAtStart();
  EXPECT_EQ(started_, 0);
  EXPECT_EQ(BootModeFlags, kBootModeFirmwarePassword);
  // An application that cannot be started counts the same.
  volume_.holds = true;
  ProvideApplication(true, EFI_SECURITY_VIOLATION);
  ReadKeysHeldAtStart();
  EXPECT_EQ(started_, 1);
  EXPECT_EQ(BootModeFlags, kBootModeFirmwarePassword);
}

TEST_F(StartKeysTest, FromThePickerTheApplicationIsNotRun) {
  MemoryFirmwarePassword password(true);
  password.Install();
  ProvideApplication(true);
  Hold(0x08, {kTarnKeyR});
  fw_.SetVariable(u"PickerEntryReason", TarnVendorGuid, 6, {1, 0, 0, 0});
  ReadKeysHeldAtStart();
  EXPECT_EQ(started_, 0);
  EXPECT_TRUE(BootModeFlags & kBootModeRecoveryRequested);
}

TEST(PickerCondition, VolatileReasonOrVolatileBootCurrentZero) {
  TestFirmware fw;
  EXPECT_FALSE(StartedFromPicker());
  fw.SetVariable(u"PickerEntryReason", TarnVendorGuid, 7, {1});  // non-volatile: not the picker's
  EXPECT_FALSE(StartedFromPicker());
  fw.SetVariable(u"PickerEntryReason", TarnVendorGuid, 6, std::vector<uint8_t>(100, 1));  // long values too
  EXPECT_TRUE(StartedFromPicker());
  gRT->SetVariable(u"PickerEntryReason", &TarnVendorGuid, 0, 0, nullptr);
  fw.SetVariable(u"BootCurrent", kEfiGlobalVariableGuid, 6, {1, 0});
  EXPECT_FALSE(StartedFromPicker());
  fw.SetVariable(u"BootCurrent", kEfiGlobalVariableGuid, 6, {0, 0});
  EXPECT_TRUE(StartedFromPicker());
  fw.SetVariable(u"BootCurrent", kEfiGlobalVariableGuid, 7, {0, 0});
  EXPECT_FALSE(StartedFromPicker());
}
