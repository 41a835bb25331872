#include "config/background_color.h"
#include "config/boot_options_stage.h"
#include "config/platform_support.h"
#include "config/slide.h"
#include "testfw/memory_key_state.h"
#include "efi/protocols/tarn_background_color.h"
#include "options_fixture.h"

namespace {

constexpr const char* kSystemList = "\\System\\Library\\CoreServices\\PlatformSupport.plist";
constexpr const char* kBesideList = "\\EFI\\Tarn\\PlatformSupport.plist";

std::string BoardList(const std::string& array) {
  return PlistDict("<key>SupportedBoardIds</key>" + array + "\n");
}

class PlatformTest : public BooterFixture {
 protected:
  void SetUp() override {
    file_path_ = DevicePathBuilder().FilePath(u"\\EFI\\Tarn\\hearth.efi").Build();
    InstallBooter(DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(1).Build());
  }
  EFI_STATUS Check(const char* board) { return PlatformCheck(board, nullptr, root_); }
};

struct FakeColor {
  TarnBackgroundColorProtocol protocol{};
  EFI_STATUS status = EFI_SUCCESS;
  UINT32 color = 0;
  static EFI_STATUS EFIAPI Get(TarnBackgroundColorProtocol* self, UINT32* color) {
    auto* fake = reinterpret_cast<FakeColor*>(self);
    if (EFI_ERROR(fake->status)) return fake->status;
    *color = fake->color;
    return EFI_SUCCESS;
  }
  FakeColor() { protocol.GetBackgroundColor = Get; }
};

}  // namespace

TEST_F(PlatformTest, MissingListPassesAndTheListBesideTheBooterComesFirst) {
  EXPECT_EQ(Check("Board-1"), EFI_SUCCESS);  // no list anywhere
  fs_.AddFile(kSystemList, BoardList("<array><string>Board-1</string></array>"));
  EXPECT_EQ(Check("Board-1"), EFI_SUCCESS);
  EXPECT_EQ(Check("Board-2"), EFI_UNSUPPORTED);
  EXPECT_EQ(Check("Board-"), EFI_UNSUPPORTED);  // exact matches only
  fs_.AddFile(kBesideList, BoardList("<array><string>Other</string><string>Board-2</string></array>"));
  EXPECT_EQ(Check("Board-2"), EFI_SUCCESS);
  EXPECT_EQ(Check("Board-1"), EFI_UNSUPPORTED);
  EXPECT_EQ(Check("VMM"), EFI_SUCCESS);  // a virtual machine never reads the list
}

TEST_F(PlatformTest, MalformedListsAreNotSupported) {
  struct Case {
    std::string text;
    EFI_STATUS status;
  } cases[] = {
      {PlistDict(StringMember("Other", "x")), EFI_NOT_FOUND},  // no "SupportedBoardIds"
      {BoardList("<string>Board-1</string>"), EFI_NOT_FOUND},   // not an array
      {BoardList("<array/>"), EFI_UNSUPPORTED},
      {BoardList("<array><integer>1</integer></array>"), EFI_UNSUPPORTED},
      {"<plist><array/></plist>", EFI_NOT_FOUND},  // not a dictionary
      {"", EFI_NOT_FOUND},
  };
  for (const Case& c : cases) {
    fs_.AddFile(kSystemList, c.text);
    EXPECT_EQ(Check("Board-1"), c.status) << c.text;
  }
}

TEST_F(PlatformTest, UnsupportedMachineShowsTheBannerAndPowersOff) {
  fs_.AddFile(kSystemList, BoardList("<array><string>Board-1</string></array>"));
  HwFakeSetHypervisor(false);
  BootModeFlags |= kBootModeVerbose;
  auto result = fw_.Run([&] {
    EnforcePlatformSupport(nullptr, root_);
    return EFI_SUCCESS;
  });
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kReset);
  EXPECT_EQ(result.reset_type, EfiResetShutdown);
  EXPECT_EQ(fw_.TotalStallMicroseconds(), 30'000'000u);
  EXPECT_NE(fw_.ConsoleText().find("This version of Larkspur is not supported on this platform!\r\n"
                                   "***********************************************************\r\n"
                                   "Reason: \r\n"),
            std::string::npos)
      << fw_.ConsoleText();
  // Switched off, or under a hypervisor, it passes.
  DisablePlatformCheck();
  EXPECT_EQ(fw_.Run([&] {
              EnforcePlatformSupport(nullptr, root_);
              return EFI_SUCCESS;
            }).how,
            TestFirmware::RunResult::How::kReturned);
}

TEST_F(PlatformTest, HypervisorPassesWithoutReadingTheList) {
  fs_.AddFile(kSystemList, "unparsable");
  HwFakeSetHypervisor(true);
  EXPECT_STREQ(PlatformCheckString(), "VMM");
  EXPECT_EQ(fw_.Run([&] {
              EnforcePlatformSupport(nullptr, root_);
              return EFI_SUCCESS;
            }).how,
            TestFirmware::RunResult::How::kReturned);
}

TEST_F(PlatformTest, BackgroundColourFromTheFirmwareTheConfigurationOrTheDefault) {
  ReadBackgroundColor();  // no protocol: black
  EXPECT_EQ(BackgroundColor(), 0u);
  EXPECT_TRUE(BootModeFlags & kBootModeBlackBackground);

  BootModeFlags = 0;
  FakeColor color;
  color.color = 0x00102030;
  fw_.InstallProtocol(nullptr, kTarnBackgroundColorProtocolGuid, &color.protocol);
  ReadBackgroundColor();
  EXPECT_EQ(BackgroundColor(), 0x00102030u);
  EXPECT_FALSE(BootModeFlags & kBootModeBlackBackground);

  color.status = EFI_DEVICE_ERROR;
  ReadBackgroundColor();
  EXPECT_EQ(BackgroundColor(), kDefaultBackgroundColor);

  AddConfig("\\EFI\\Tarn\\com.tarn.Boot.plist", "<key>Background Color</key><integer>4278190080</integer>\n");
  Process();
  ReadBackgroundColor();
  EXPECT_EQ(BackgroundColor(), 0u);  // the top byte is dropped: black
  EXPECT_TRUE(BootModeFlags & kBootModeBlackBackground);
}

TEST_F(PlatformTest, StageReadsTheLoadOptionsOfTheImage) {
  gBooterSettings.log = kLogSinkSerial;
  gBooterSettings.level = 0x80000001;
  LogStart(gBooterSettings);
  std::u16string options = u"\\EFI\\Tarn\\hearth.efi -v keepsyms=1";
  image_.LoadOptions = options.data();
  image_.LoadOptionsSize = static_cast<UINT32>(options.size() * sizeof(CHAR16));
  SetBootArgs("debug=0x100");
  HwFakeSetHypervisor(true);
  EXPECT_EQ(RunProcessOptionsStage(nullptr, root_), EFI_SUCCESS);
  EXPECT_STREQ(KernelCommandLine(), "-v keepsyms=1 debug=0x100");
  const std::string& serial = HwFakeSerialOutput();
  size_t start = serial.find("hearth: Start ProcessOptions\r\n");
  size_t line = serial.find("Kernel command line: '-v keepsyms=1 debug=0x100'\r\n");
  size_t end = serial.find("hearth: End ProcessOptions\r\n");
  ASSERT_NE(start, std::string::npos) << serial;
  EXPECT_LT(start, line);
  EXPECT_LT(line, end);
  EXPECT_NE(end, std::string::npos);
}

TEST(OptionsStage, SlideIsDrawnBeforeTheKeys) {
  TestFirmware fw;
  MemoryKeyState keys;
  keys.Hold(0x02, {});  // Shift: safe mode switches the fresh slide off again
  keys.Install();
  PrepareSlideAndStartKeys();
  EXPECT_EQ(BootModeFlags, kBootModeSafe);
  EXPECT_EQ(KernelSlideDisabled, 1);
  BootModeFlags = 0;
  keys.Hold(0, {});
  PrepareSlideAndStartKeys();
  EXPECT_EQ(BootModeFlags, kBootModeSlide);
}
