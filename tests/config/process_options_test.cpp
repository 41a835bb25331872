#include <cstring>

#include "config/slide.h"
#include "memory/memory.h"
#include "options_fixture.h"

using ProcessOptionsTest = BooterFixture;

TEST_F(ProcessOptionsTest, LoadOptionsLoseTheBooterPathButNotAFirstOption) {
  struct Case {
    std::u16string options;
    std::string line;
  } cases[] = {
      {u"\\System\\Library\\CoreServices\\hearth.efi -v  debug=1", "-v  debug=1"},
      {u"  hearth.efi\t-s", "-s"},
      {u"debug=1 -s", "debug=1 -s"},  // "=" before the white space: already an option
      {u"  -v", "-v"},
      {u"hearth.efi", ""},
      {std::u16string(u"-v\0-s", 5), "-v"},  // the options end at a NUL
      {u"\u00E9t\u00E9=1", "\xC3\xA9t\xC3\xA9=1"},
  };
  for (const Case& c : cases) {
    BootModeFlags = 0;
    EXPECT_EQ(Process(c.options), c.line);
  }
}

TEST_F(ProcessOptionsTest, LoadOptionsComeFirstThenBootArgsThenKernelFlags) {
  SetBootArgs("debug=0x144 -v keepsyms=1");
  AddBooterConfig(StringMember("Kernel Flags", "keepsyms=0 -s debug=0x1 rootless=0"));
  // The same key in the load options and "boot-args": the load options' token stays.
  EXPECT_EQ(Process(u"hearth.efi debug=0x100"), "debug=0x100 -v keepsyms=1 -s rootless=0");
  EXPECT_TRUE(BootModeFlags & kBootModeSingleUser);
  EXPECT_TRUE(BootModeFlags & kBootModeVerbose);
  EXPECT_TRUE(BootModeFlags & kBootModeDebug);
}

TEST_F(ProcessOptionsTest, MergedLineGoesToTheLog) {
  gBooterSettings.log = kLogSinkSerial;
  gBooterSettings.level = 0x80000001;
  LogStart(gBooterSettings);
  SetBootArgs("-v");
  AddConfig(kStandardConfig, StringMember("Kernel Flags", "keepsyms=1"));
  EXPECT_EQ(Process(), "-v keepsyms=1");
  EXPECT_NE(HwFakeSerialOutput().find("Kernel command line: '-v keepsyms=1'\r\n"), std::string::npos)
      << HwFakeSerialOutput();
}

TEST_F(ProcessOptionsTest, ConfigurationFileIsFoundWhereTheLoadOptionsSay) {
  AddConfig(kStandardConfig, StringMember("Kernel Flags", "standard"));
  AddConfig("\\Library\\Preferences\\SystemConfiguration\\Custom.plist", StringMember("Kernel Flags", "custom"));
  AddConfig("\\Elsewhere\\Named.plist", StringMember("Kernel Flags", "absolute"));
  EXPECT_EQ(Process(), "standard");
  EXPECT_EQ(Process(u"config=Custom"), "config=Custom custom");
  EXPECT_EQ(Process(u"config=\\Elsewhere\\Named"), "config=\\Elsewhere\\Named absolute");
  EXPECT_EQ(Process(u"config=Missing"), "config=Missing");  // a named file that is missing: none
  // The booter's own directory wins over all of them.
  AddBooterConfig(StringMember("Kernel Flags", "beside"));
  EXPECT_EQ(Process(u"config=Custom"), "config=Custom beside");
}

TEST_F(ProcessOptionsTest, UnreadableConfigurationLeavesNoDictionary) {
  fs_.AddFile(kStandardConfig, "<plist><array><string>no dict</string></array></plist>");
  SetBootArgs("-v");
  EXPECT_EQ(Process(), "-v");
  EXPECT_EQ(BootConfigDictionary(), nullptr);
  fs_.AddFile(kStandardConfig, "");
  EXPECT_EQ(Process(), "-v");
  EXPECT_EQ(BootConfigDictionary(), nullptr);
}

TEST_F(ProcessOptionsTest, SafeModeFiltersTheLineAndIgnoresKernelFlags) {
  BootModeFlags |= kBootModeSafe | kBootModeSlide;  // Shift held at start
  SetBootArgs("rootless=0 debug=0x144 -v");
  AddBooterConfig(StringMember("Kernel Flags", "kext-dev-mode=1"));
  EXPECT_EQ(Process(), "rootless=0 -v -x");
  EXPECT_NE(fw_.ConsoleText().find("Using Safe Mode\r\n"), std::string::npos);
  EXPECT_FALSE(BootModeFlags & kBootModeDebug);
  EXPECT_FALSE(BootModeFlags & kBootModeSlide);
  EXPECT_EQ(KernelSlideDisabled, 1);
  EXPECT_TRUE(BootModeFlags & kBootModeReleaseKernelCache);
}

TEST_F(ProcessOptionsTest, SafeModeFromBootArgsIsSafeModeForTheWholeLine) {
  SetBootArgs("-x debug=0x144 rootless=0");
  AddBooterConfig(StringMember("Kernel Flags", "keepsyms=1"));
  EXPECT_EQ(Process(u"-x"), "-x rootless=0");
  EXPECT_TRUE(BootModeFlags & kBootModeSafe);
  SetBootArgs("debug=1 -x");
  EXPECT_EQ(Process(u"hearth.efi"), "-x");
}

TEST_F(ProcessOptionsTest, ModeFlagsFromKeysAreAddedOnce) {
  BootModeFlags |= kBootModeSingleUser | kBootModeVerbose | kBootModeKeyX;
  SetBootArgs("-v srv=2");
  EXPECT_EQ(Process(), "-v srv=2 -s");
}

TEST_F(ProcessOptionsTest, SlideFollowsTheCommandLineOnlyWithCsrBit40) {
  struct Case {
    uint32_t csr;
    const char* args;
    bool slide_on;
    uint64_t slide;
  } cases[] = {
      {0x40, "slide=5", true, 5 * 0x200000ull},
      {0x67, "slide=255", true, 255 * 0x200000ull},
      {0x40, "slide=0x10", true, 16 * 0x200000ull},
      {0x40, "slide=0", false, 0x1234},
      {0x40, "slide=300", true, 0x1234},  // other numbers change nothing
      {0x40, "slide=abc", true, 0x1234},
      {0x40, "-v", true, 0x1234},
      {0x27, "slide=0", true, 0x1234},  // without bit 0x40 the option is ignored
      {0x00, "slide=5", true, 0x1234},
  };
  for (const Case& c : cases) {
    BootModeFlags = kBootModeSlide;
    KernelSlide = 0x1234;
    SetCsr(c.csr);
    SetBootArgs(c.args);
    Process();
    EXPECT_EQ((BootModeFlags & kBootModeSlide) != 0, c.slide_on) << c.args << " csr " << c.csr;
    EXPECT_EQ(KernelSlide, c.slide) << c.args << " csr " << c.csr;
  }
  // A bare "slide" draws a new random slide and switches it on.
  BootModeFlags = 0;
  HwFakeSetRdrand(true);
  HwFakeQueueRdrand({0x07});
  SetCsr(0x40);
  SetBootArgs("slide");
  Process();
  EXPECT_TRUE(BootModeFlags & kBootModeSlide);
  EXPECT_EQ(KernelSlide, 7 * 0x200000ull);
  // The user switched the slide off at start: the option changes nothing.
  BootModeFlags = 0;
  KernelSlideDisabled = 1;
  SetBootArgs("slide=9");
  Process();
  EXPECT_FALSE(BootModeFlags & kBootModeSlide);
}

TEST_F(ProcessOptionsTest, CpuSubtypeKcsuffixAndSwitches) {
  CpuSubtype = 8;
  SetBootArgs("cpu_subtype=x86_64 kcsuffix=development -no_compat_check");
  Process();
  EXPECT_EQ(CpuSubtype, 3u);
  ASSERT_NE(KernelCacheSuffix(), nullptr);
  EXPECT_EQ(std::u16string(KernelCacheSuffix()), u"development");
  EXPECT_FALSE(BootModeFlags & kBootModeReleaseKernelCache);
  EXPECT_FALSE(PlatformCheckEnabled());
  EXPECT_TRUE(PanicReportEnabled());

  // Without the features the "h" slice needs, it is refused.
  HwFakeSetCpuidBits(7, 0, HwReg::kEbx, 0x20, false);  // AVX2
  SetBootArgs("cpu_subtype=x86_64h kcsuffix=release -no_panic_dialog");
  Process();
  EXPECT_EQ(CpuSubtype, 3u);
  EXPECT_EQ(std::u16string(KernelCacheSuffix()), u"release");
  EXPECT_TRUE(BootModeFlags & kBootModeReleaseKernelCache);
  EXPECT_FALSE(PanicReportEnabled());

  BootModeFlags = 0;
  SetBootArgs("kcsuffix cpu_subtype=x86");
  Process();
  EXPECT_EQ(KernelCacheSuffix(), nullptr);
  EXPECT_TRUE(BootModeFlags & kBootModeReleaseKernelCache);
  EXPECT_EQ(CpuSubtype, 3u);
}

TEST_F(ProcessOptionsTest, PathsFromTheCommandLineOrTheConfiguration) {
  AddBooterConfig(StringMember("Kernel Cache", "System/Library/Caches/kernelcache") +
                  StringMember("RAM Disk", "/Images/root.dmg"));
  Process();
  ASSERT_NE(KernelCachePathOverride(), nullptr);
  EXPECT_EQ(std::u16string(KernelCachePathOverride()), u"System\\Library\\Caches\\kernelcache");
  ASSERT_NE(RamDiskPath(), nullptr);
  EXPECT_EQ(std::u16string(RamDiskPath()), u"/Images/root.dmg");
  EXPECT_EQ(RamDiskDevicePath(), nullptr);  // only on a network boot
}

TEST_F(ProcessOptionsTest, RecoveryBootModeVariableAsksForRecovery) {
  BootModeFlags |= kBootModeSafe | kBootModeSingleUser;
  fw_.SetVariable(u"recovery-boot-mode", TarnBootGuid, "a value longer than ten bytes");
  SetBootArgs("debug=1");
  EXPECT_EQ(Process(), "debug=1");
  EXPECT_EQ(BootModeFlags & (kBootModeSafe | kBootModeSingleUser | kBootModeRecoveryRequested),
            kBootModeRecoveryRequested);
  // Not while a hibernation resume waits.
  BootModeFlags = kBootModeHibernate | kBootModeSafe;
  Process();
  EXPECT_FALSE(BootModeFlags & kBootModeRecoveryRequested);
}

TEST_F(ProcessOptionsTest, KernelCacheLocationVariableIsHeld) {
  fw_.SetVariable(u"efi-boot-kernelcache-data", TarnBootGuid, 7, {1, 2, 3, 4, 5});
  Process();
  const UINT8* data = nullptr;
  UINTN size = 0;
  KernelCacheLocationData(&data, &size);
  ASSERT_EQ(size, 5u);
  EXPECT_EQ(std::memcmp(data, "\1\2\3\4\5", 5), 0);
  EXPECT_EQ(CsrActiveConfig(), 0u);
}

TEST_F(ProcessOptionsTest, LookupsPreferTheCommandLine) {
  SetBootArgs("rd=disk0s2 Root=cmd");
  AddBooterConfig(StringMember("Root", "config") + StringMember("Root UUID", "0123") +
                  "<key>Background Color</key><integer>4278190335</integer>\n" +
                  "<key>Count</key><string>7</string>\n<key>Ids</key><array><string>a</string></array>\n");
  Process();
  const char* value = nullptr;
  UINTN length = 0;
  ASSERT_EQ(BootOptionLookup("Root", &value, &length), EFI_SUCCESS);
  EXPECT_EQ(std::string(value, length), "cmd");
  ASSERT_EQ(BootOptionLookup("Root UUID", &value, &length), EFI_SUCCESS);
  EXPECT_EQ(std::string(value, length), "0123");
  EXPECT_EQ(BootOptionLookup("Missing", &value, &length), EFI_NOT_FOUND);
  INT64 number = 0;
  ASSERT_EQ(BootConfigInteger("Background Color", &number), EFI_SUCCESS);
  EXPECT_EQ(number, 4278190335);
  EXPECT_EQ(BootConfigInteger("Count", &number), EFI_NOT_FOUND);  // a string is not an integer
  EXPECT_EQ(BootConfigString("Ids", &value), EFI_NOT_FOUND);
  char* xml = nullptr;
  ASSERT_EQ(BootConfigMemberXml("Ids", &xml), EFI_SUCCESS);
  EXPECT_STREQ(xml, "<array><string>a</string></array>");
  PoolFree(xml);
  EXPECT_EQ(BootConfigMemberXml("Missing", &xml), EFI_NOT_FOUND);
}

TEST_F(ProcessOptionsTest, OutOfMemoryLeavesTheLineUnset) {
  SetBootArgs("-v");
  PoolFree(PoolAllocate(1));  // the allocation tracker's own block, out of the count
  // The options' copy and text, the "boot-args" buffer, the path buffer.
  for (int n = 1; n <= 4; ++n) {
    fw_.FailNthAllocation(n);
    EXPECT_EQ(Process(u"-s"), "<failed>") << n;
    EXPECT_EQ(status_, EFI_OUT_OF_RESOURCES) << n;
    EXPECT_STREQ(KernelCommandLine(), "") << n;
  }
  fw_.FailNthAllocation(0);
  EXPECT_EQ(Process(u"-s"), "-s -v");
}
