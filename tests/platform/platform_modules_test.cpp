#include <gtest/gtest.h>

#include <cstring>

#include "flags/guids.h"
#include "efi/protocols/loaded_image.h"
#include "hw/fake/hw_fake.h"
#include "platform/console_control.h"
#include "platform/image_starter.h"
#include "platform/platform_text.h"
#include "platform/qemu_exit.h"
#include "platform/settings.h"
#include "platform/variable_setter.h"
#include "tests/platform/fake_volume.h"

namespace {

// Everything handed back: nothing tracked is live, and once the tracker's own blocks go the
// firmware holds no pool at all (an untracked block would stay).
void ExpectNothingHeld(TestFirmware& fw) {
  EXPECT_EQ(TrackedAllocationCount(), 0u);
  ReleaseAllAllocations();
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
}



bool SerialHas(const std::string& text) { return HwFakeSerialOutput().find(text) != std::string::npos; }

void Print(const char16_t* text) { gST->ConOut->OutputString(gST->ConOut, text); }

uint32_t SystemTableCrc() {
  EFI_SYSTEM_TABLE copy = *gST;
  copy.Hdr.CRC32 = 0;
  uint32_t crc = 0;
  gBS->CalculateCrc32(&copy, sizeof(copy), &crc);
  return crc;
}

TEST(PlatformText, StatusesReadAsTheirNames) {
  EXPECT_STREQ(PlatformText().AddStatus(EFI_ABORTED).c_str(), "Aborted (0x8000000000000015)");
  EXPECT_STREQ(PlatformText().AddStatus(EFI_SUCCESS).c_str(), "Success (0x0)");
  EXPECT_STREQ(PlatformText().AddStatus(EFI_NOT_FOUND).c_str(), "Not Found (0x800000000000000E)");
  EXPECT_STREQ(PlatformText().AddStatus(EFI_WARN_BUFFER_TOO_SMALL).c_str(), "Warning Buffer Too Small (0x4)");
  EXPECT_STREQ(PlatformText().AddStatus(EfiError(29)).c_str(), "Unknown status (0x800000000000001D)");
  EXPECT_STREQ(PlatformText().AddStatus(EfiError(0)).c_str(), "Unknown status (0x8000000000000000)");
  EXPECT_STREQ(PlatformText().AddStatus(EfiError(1000)).c_str(), "Unknown status (0x80000000000003E8)");
}

TEST(PlatformText, LongTextIsCutNotOverrun) {
  PlatformText text;
  for (int i = 0; i < 100; ++i) text.Add("0123456789").AddDecimal(18446744073709551615ull);
  EXPECT_EQ(text.size(), PlatformText::kCapacity);
  EXPECT_EQ(std::strlen(text.c_str()), PlatformText::kCapacity);
}

TEST(QemuExit, CodesKeepStatusesApart) {
  EXPECT_EQ(QemuExitCode(EFI_SUCCESS), 0);
  EXPECT_EQ(QemuExitCode(EFI_ABORTED), 0x55);  // QEMU ends with 171
  EXPECT_EQ(QemuExitCode(EFI_NOT_FOUND), 0x4E);
  EXPECT_EQ(QemuExitCode(EFI_WARN_UNKNOWN_GLYPH), 0x01);
}

TEST(ConsoleControl, GraphicsModeKeepsTextOffTheScreen) {
  TestFirmware fw;
  fw.RemoveConsoleControl();  // generic firmware has none: the loader brings it
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* firmware_out = gST->ConOut;
  ASSERT_EQ(InstallConsoleControl(), EFI_SUCCESS);
  EXPECT_NE(gST->ConOut, firmware_out);
  EXPECT_EQ(gST->ConOut->Mode, firmware_out->Mode);
  EXPECT_EQ(gST->Hdr.CRC32, SystemTableCrc());

  EFI_CONSOLE_CONTROL_PROTOCOL* cc = nullptr;
  ASSERT_EQ(gBS->LocateProtocol(&kEfiConsoleControlProtocolGuid, nullptr, reinterpret_cast<void**>(&cc)), EFI_SUCCESS);
  EFI_CONSOLE_CONTROL_SCREEN_MODE mode = EfiConsoleControlScreenGraphics;
  BOOLEAN gop = TRUE, locked = TRUE;
  ASSERT_EQ(cc->GetMode(cc, &mode, &gop, &locked), EFI_SUCCESS);
  EXPECT_EQ(mode, EfiConsoleControlScreenText);
  EXPECT_FALSE(gop);  // the test firmware has no graphics device
  EXPECT_FALSE(locked);

  Print(u"shown ");
  ASSERT_EQ(cc->SetMode(cc, EfiConsoleControlScreenGraphics), EFI_SUCCESS);
  Print(u"hidden ");
  EXPECT_EQ(gST->ConOut->ClearScreen(gST->ConOut), EFI_SUCCESS);
  ASSERT_EQ(cc->GetMode(cc, &mode, nullptr, nullptr), EFI_SUCCESS);
  EXPECT_EQ(mode, EfiConsoleControlScreenGraphics);
  ASSERT_EQ(cc->SetMode(cc, EfiConsoleControlScreenText), EFI_SUCCESS);
  Print(u"again");
  EXPECT_EQ(fw.ConsoleText(), "shown again");

  EXPECT_EQ(cc->SetMode(cc, EfiConsoleControlScreenMaxValue), EFI_INVALID_PARAMETER);
  EXPECT_EQ(cc->GetMode(cc, nullptr, nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(cc->LockStdIn(cc, nullptr), EFI_UNSUPPORTED);
}

TEST(ConsoleControl, RemovalRestoresTheFirmwareConsole) {
  TestFirmware fw;
  fw.RemoveConsoleControl();  // generic firmware has none: the loader brings it
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* firmware_out = gST->ConOut;
  ASSERT_EQ(InstallConsoleControl(), EFI_SUCCESS);
  EXPECT_EQ(InstallConsoleControl(), EFI_ALREADY_STARTED);
  ConsoleControlProtocol()->SetMode(ConsoleControlProtocol(), EfiConsoleControlScreenGraphics);
  RemoveConsoleControl();
  EXPECT_EQ(gST->ConOut, firmware_out);
  EXPECT_EQ(gST->Hdr.CRC32, SystemTableCrc());
  void* cc = nullptr;
  EXPECT_NE(gBS->LocateProtocol(&kEfiConsoleControlProtocolGuid, nullptr, &cc), EFI_SUCCESS);
  Print(u"visible");  // whatever mode hearth left behind
  EXPECT_EQ(fw.ConsoleText(), "visible");
  RemoveConsoleControl();  // a second removal is harmless
}

TEST(ConsoleControl, WithoutConsoleOutOnlyTheProtocolIsInstalled) {
  TestFirmware fw;
  fw.RemoveConsoleControl();  // generic firmware has none: the loader brings it
  fw.RemoveConsoleOut(true);
  ASSERT_EQ(InstallConsoleControl(), EFI_SUCCESS);
  EXPECT_EQ(gST->ConOut, nullptr);
  RemoveConsoleControl();
  EXPECT_EQ(gST->ConOut, nullptr);
}

SettingsVariable MakeVariable(const char16_t* name, const std::vector<uint8_t>& value, uint32_t attributes = 7) {
  SettingsVariable v{};
  v.vendor = TarnBootGuid;
  std::memcpy(v.name, name, (std::char_traits<char16_t>::length(name) + 1) * sizeof(CHAR16));
  v.attributes = attributes;
  v.value = value.data();
  v.value_size = value.size();
  return v;
}

TEST(VariableSetter, SetsDeletesAndReportsFailures) {
  TestFirmware fw;
  fw.RemoveConsoleControl();  // generic firmware has none: the loader brings it
  std::vector<uint8_t> args = {'-', 'v'};
  EXPECT_EQ(SetSettingsVariable(MakeVariable(u"boot-args", args, 3)), EFI_SUCCESS);
  EXPECT_EQ(fw.GetVariable(u"boot-args", TarnBootGuid), args);
  EXPECT_EQ(fw.VariableAttributes(u"boot-args", TarnBootGuid), 3u);
  EXPECT_TRUE(SerialHas("platform: variable boot-args set (2 bytes)\n"));

  EXPECT_EQ(SetSettingsVariable(MakeVariable(u"boot-args", {})), EFI_SUCCESS);
  EXPECT_FALSE(fw.GetVariable(u"boot-args", TarnBootGuid).has_value());
  EXPECT_TRUE(SerialHas("platform: variable boot-args deleted\n"));

  fw.FailNthVariableWrite(1);
  EXPECT_EQ(SetSettingsVariable(MakeVariable(u"bootercfg", {'x'})), EFI_DEVICE_ERROR);
  EXPECT_TRUE(SerialHas("platform: variable bootercfg not set: Device Error (0x8000000000000007)\n"));
}

// A test firmware whose image was loaded from the given volume.
struct LoaderFixture : ::testing::Test {
  TestFirmware fw;
  FakeVolume own{fw, 1};
  EFI_LOADED_IMAGE_PROTOCOL loaded_image{};

  LoaderFixture() {
    fw.RemoveConsoleControl();  // generic firmware has none: the loader brings it
    loaded_image.DeviceHandle = own.handle();
    fw.InstallProtocol(fw.ImageHandle(), kEfiLoadedImageProtocolGuid, &loaded_image);
  }
};

using PlatformSettings = LoaderFixture;

TEST_F(PlatformSettings, FileSetsVariablesAndOptionsAndSkipsBadLines) {
  own.AddFile(kSettingsPath, "var boot boot-args 7 \"-v\"\nvar boot 7\nexit-qemu on-return\nvar boot csr 7 u32:0x67\n");
  own.SetReadChunk(5);  // the file arrives in pieces
  PlatformOptions options;
  EXPECT_EQ(ApplyPlatformSettings(&options), EFI_SUCCESS);
  EXPECT_EQ(options.exit_qemu, QemuExitPolicy::kOnReturn);
  EXPECT_EQ(fw.GetVariable(u"boot-args", TarnBootGuid), (std::vector<uint8_t>{'-', 'v'}));
  EXPECT_EQ(fw.GetVariable(u"csr", TarnBootGuid), (std::vector<uint8_t>{0x67, 0, 0, 0}));
  EXPECT_TRUE(SerialHas("platform: platform.cfg line 2: "));
  EXPECT_EQ(own.open_files(), 0);
  ExpectNothingHeld(fw);
}

TEST_F(PlatformSettings, MissingFileKeepsTheDefaults) {
  PlatformOptions options;
  EXPECT_EQ(ApplyPlatformSettings(&options), EFI_SUCCESS);
  EXPECT_EQ(options.exit_qemu, QemuExitPolicy::kNever);
  EXPECT_TRUE(SerialHas("platform: no platform.cfg, running with defaults\n"));
  EXPECT_EQ(own.open_files(), 0);
}

TEST_F(PlatformSettings, OversizedFileIsRefusedBeforeReading) {
  own.AddFile(kSettingsPath, std::vector<uint8_t>(1024 * 1024 + 1, '#'));
  PlatformOptions options;
  EXPECT_EQ(ApplyPlatformSettings(&options), EFI_BAD_BUFFER_SIZE);
  EXPECT_TRUE(SerialHas("platform: cannot read platform.cfg: Bad Buffer Size"));
  ExpectNothingHeld(fw);
}

using ImageStarter = LoaderFixture;

TEST_F(ImageStarter, FindsTheFirstVolumeInHandleOrderThatHoldsTheFile) {
  FakeVolume a{fw, 2}, b{fw, 3};
  EXPECT_EQ(FindFileOnVolumes(kHearthPath, nullptr), EFI_NOT_FOUND);

  b.AddFile(kHearthPath, "MZ");
  EFI_HANDLE found = nullptr;
  ASSERT_EQ(FindFileOnVolumes(kHearthPath, &found), EFI_SUCCESS);
  EXPECT_EQ(found, b.handle());

  // With every volume holding it, the firmware's first handle wins; the loader's own
  // volume is searched like any other.
  own.AddFile(kHearthPath, "MZ");
  a.AddFile(kHearthPath, "MZ");
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  ASSERT_EQ(gBS->LocateHandleBuffer(ByProtocol, &kEfiSimpleFileSystemProtocolGuid, nullptr, &count, &handles),
            EFI_SUCCESS);
  EFI_HANDLE first = handles[0];
  gBS->FreePool(handles);
  ASSERT_EQ(FindFileOnVolumes(kHearthPath, &found), EFI_SUCCESS);
  EXPECT_EQ(found, first);
  EXPECT_EQ(own.open_files() + a.open_files() + b.open_files(), 0);
  ExpectNothingHeld(fw);
}

TEST_F(ImageStarter, DevicePathIsTheVolumeFollowedByTheFile) {
  PoolBuffer path;
  ASSERT_EQ(BuildFileDevicePath(own.handle(), kHearthPath, &path), EFI_SUCCESS);
  const uint8_t* bytes = path.get<uint8_t>();
  const size_t prefix = own.device_path().size() - 4;
  EXPECT_EQ(std::memcmp(bytes, own.device_path().data(), prefix), 0);
  const auto* node = reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(bytes + prefix);
  EXPECT_EQ(node->Type, MEDIA_DEVICE_PATH);
  EXPECT_EQ(node->SubType, MEDIA_FILEPATH_DP);
  std::u16string name(kHearthPath);
  ASSERT_EQ(DevicePathNodeLength(node), 4 + (name.size() + 1) * 2);
  EXPECT_EQ(std::memcmp(bytes + prefix + 4, name.c_str(), (name.size() + 1) * 2), 0);
  EXPECT_TRUE(IsDevicePathEnd(NextDevicePathNode(node)));
  EXPECT_EQ(DevicePathNodeLength(NextDevicePathNode(node)), 4);
}

TEST_F(ImageStarter, BrokenVolumeDevicePathIsRefused) {
  EFI_HANDLE handle = fw.NewHandle();
  uint8_t zero_length_node[8] = {HARDWARE_DEVICE_PATH, HW_VENDOR_DP, 0, 0, 0x7F, 0xFF, 4, 0};
  fw.InstallProtocol(handle, kEfiDevicePathProtocolGuid, zero_length_node);
  PoolBuffer path;
  EXPECT_EQ(BuildFileDevicePath(handle, kHearthPath, &path), EFI_VOLUME_CORRUPTED);
  EXPECT_EQ(BuildFileDevicePath(fw.NewHandle(), kHearthPath, &path), EFI_NOT_FOUND);
}

TEST(ImageRefusal, SecureBootRefusalsAreExplainedInFullOthersAreNot) {
  for (EFI_STATUS refused : {EFI_ACCESS_DENIED, EFI_SECURITY_VIOLATION}) {
    const char* reason = ImageRefusalReason(refused);
    ASSERT_NE(reason, nullptr);
    EXPECT_NE(std::strstr(reason, "no signature the firmware trusts"), nullptr);
    // The loader's report line carries it whole.
    PlatformText line;
    line.Add("platform: Secure Boot refused hearth: ").Add(reason);
    EXPECT_LT(line.size(), PlatformText::kCapacity);
  }
  for (EFI_STATUS other : {EFI_SUCCESS, EFI_NOT_FOUND, EFI_LOAD_ERROR, EFI_UNSUPPORTED, EFI_OUT_OF_RESOURCES}) {
    EXPECT_EQ(ImageRefusalReason(other), nullptr) << other;
  }
}

TEST_F(ImageStarter, StartsTheImageAndHandsBackItsStatus) {
  std::vector<uint8_t> seen_path;
  fw.SetImageLoader([&](EFI_DEVICE_PATH_PROTOCOL* path, const void* source, UINTN)
                        -> std::optional<TestFirmware::ImageEntry> {
    if (source) return std::nullopt;  // must load from the device path
    const uint8_t* p = reinterpret_cast<const uint8_t*>(path);
    seen_path.assign(p, p + own.device_path().size() - 4);
    return [](EFI_HANDLE) -> EFI_STATUS { return EFI_ABORTED; };
  });
  EFI_STATUS hearth_status = EFI_SUCCESS;
  EXPECT_EQ(LoadAndStartImage(own.handle(), kHearthPath, &hearth_status), EFI_SUCCESS);
  EXPECT_EQ(hearth_status, EFI_ABORTED);
  EXPECT_EQ(seen_path, std::vector<uint8_t>(own.device_path().begin(), own.device_path().end() - 4));
  ExpectNothingHeld(fw);

  fw.SetImageLoader([](EFI_DEVICE_PATH_PROTOCOL*, const void*, UINTN) { return std::nullopt; });
  EXPECT_EQ(LoadAndStartImage(own.handle(), kHearthPath, &hearth_status), EFI_NOT_FOUND);
  ExpectNothingHeld(fw);
}

}  // namespace
