#include <gtest/gtest.h>

#include <string>

#include "flags/guids.h"
#include "flags/booter_config.h"
#include "testfw/test_firmware.h"

namespace {


BooterSettings Defaults() {
  return {kBooterDefaultLog, kBooterDefaultDebug, kBooterDefaultKcReadSize, kBooterDefaultLevel};
}

BooterSettings Parse(const std::string& text) {
  BooterSettings s = Defaults();
  ParseBooterSettings(ByteSpan(text.data(), text.size()), &s);
  return s;
}

TEST(BooterConfigLookup, ReadsTokens) {
  struct Case {
    std::string text;
    bool found;
    UINT64 value;
  } cases[] = {
      {"log=5", true, 5},
      {"log=10", true, 0x10},                   // hexadecimal
      {"log=0x1F", true, 0x1F},
      {"log=0XaB", true, 0xAB},
      {"debug=1 log=2 log=3", true, 3},          // last occurrence wins
      {"log", true, 0},                          // a name without a value
      {"log=", true, 0},
      {"log=zz", true, 0},                       // no digits
      {"log=12zz", true, 0x12},                  // digits up to the garbage
      {"\tlog=4\r\n", true, 4},
      {"logx=4", false, 0},                      // only the exact name
      {"xlog=4", false, 0},
      {"catalog=4", false, 0},
      {"log=1 log=11112222333344445", true, 1},  // too wide: that occurrence is skipped
      {"log=ffffffffffffffff", true, ~0ull},
      {"", false, 0},
      {std::string("log=7\0log=8", 11), true, 7},  // the text ends at a NUL
  };
  for (const Case& c : cases) {
    UINT64 value = 0xDEAD;
    EXPECT_EQ(BooterConfigLookup(ByteSpan(c.text.data(), c.text.size()), "log", &value), c.found) << c.text;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(BooterConfigParse, SetsTheFourSettingsAndKeepsDefaultsOtherwise) {
  BooterSettings s = Parse("junk level=1 kc-read-size=20000 debug=0x4 = ==");
  EXPECT_EQ(s.log, kBooterDefaultLog);
  EXPECT_EQ(s.debug, 4u);
  EXPECT_EQ(s.kc_read_size, 0x20000u);
  EXPECT_EQ(s.level, 1u);
  s = Parse("nothing to see");
  EXPECT_EQ(s.kc_read_size, kBooterDefaultKcReadSize);
  EXPECT_EQ(s.level, kBooterDefaultLevel);
}

TEST(ReadBooterSettings, OnceVariableIsUsedAndDeletedAndThePersistentOneIsNotRead) {
  TestFirmware fw;
  fw.SetVariable(u"bootercfg-once", TarnBootGuid, "log=2");
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=5 debug=3");
  EXPECT_EQ(ReadBooterSettings(), EFI_SUCCESS);
  EXPECT_EQ(gBooterSettings.log, 2u);
  EXPECT_EQ(gBooterSettings.debug, 0u);
  EXPECT_FALSE(fw.GetVariable(u"bootercfg-once", TarnBootGuid));
  EXPECT_TRUE(fw.GetVariable(u"bootercfg", TarnBootGuid));
}

TEST(ReadBooterSettings, PersistentVariableWhenNoOnceVariable) {
  TestFirmware fw;
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=5 level=ffffffff");
  EXPECT_EQ(ReadBooterSettings(), EFI_SUCCESS);
  EXPECT_EQ(gBooterSettings.log, 5u);
  EXPECT_EQ(gBooterSettings.level, 0xFFFFFFFFu);
  EXPECT_TRUE(fw.GetVariable(u"bootercfg", TarnBootGuid));
}

TEST(ReadBooterSettings, NoVariableKeepsDefaults) {
  TestFirmware fw;
  EXPECT_EQ(ReadBooterSettings(), EFI_NOT_FOUND);
  EXPECT_EQ(gBooterSettings.log, kBooterDefaultLog);
  EXPECT_EQ(gBooterSettings.kc_read_size, kBooterDefaultKcReadSize);
  EXPECT_EQ(gBooterSettings.level, kBooterDefaultLevel);
}

TEST(ReadBooterSettings, FullSizeTextIsReadWithoutOverrun) {
  TestFirmware fw;
  std::string text = "log=4" + std::string(kBooterConfigMaxSize - 5, ' ');
  ASSERT_EQ(text.size(), kBooterConfigMaxSize);
  text.back() = '1';  // a token running up to the very last byte
  text[text.size() - 2] = '=';
  text[text.size() - 3] = 'g';
  text[text.size() - 4] = 'u';
  text[text.size() - 5] = 'b';
  text[text.size() - 6] = 'e';
  text[text.size() - 7] = 'd';
  fw.SetVariable(u"bootercfg", TarnBootGuid, text);
  EXPECT_EQ(ReadBooterSettings(), EFI_SUCCESS);
  EXPECT_EQ(gBooterSettings.log, 4u);
  EXPECT_EQ(gBooterSettings.debug, 1u);
}

TEST(ReadBooterSettings, OversizedOnceVariableIsDeletedAndThePersistentOneUsed) {
  TestFirmware fw;
  fw.SetVariable(u"bootercfg-once", TarnBootGuid, "log=2" + std::string(kBooterConfigMaxSize, ' '));
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=6");
  EXPECT_EQ(ReadBooterSettings(), EFI_SUCCESS);
  EXPECT_EQ(gBooterSettings.log, 6u);
  EXPECT_FALSE(fw.GetVariable(u"bootercfg-once", TarnBootGuid));
}

TEST(ReadBooterSettings, OversizedPersistentVariableKeepsDefaults) {
  TestFirmware fw;
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=2" + std::string(kBooterConfigMaxSize, ' '));
  EXPECT_EQ(ReadBooterSettings(), EFI_NOT_FOUND);
  EXPECT_EQ(gBooterSettings.log, kBooterDefaultLog);
}

}  // namespace
