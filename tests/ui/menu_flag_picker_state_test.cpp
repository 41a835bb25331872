#include <gtest/gtest.h>

#include <string>

#include "flags/guids.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "ui/flag_picker_state.h"

namespace {

struct FlagStateTest : ::testing::Test {
  TestFirmware fw;
  void SetUp() override { CaptureLog(); }
  void TearDown() override { EXPECT_EQ(TrackedAllocationCount(), 0u); }
  std::string Restored(UINT32 archive) {
    char state[kFlagStateSize + 1];
    return FlagPickerStoredState(archive, state) == 0 ? std::string(state) : std::string("<none>");
  }
};

TEST_F(FlagStateTest, TheChosenLayoutIsWrittenAndReadBackForItsArchive) {
  char state[kFlagStateSize];
  ASSERT_EQ(FlagPickerStateString(3, "flag_other", state), 0u);
  ASSERT_EQ(FlagPickerSaveState(state, 181), 0u);
  auto stored = fw.GetVariable(u"flagstate", TarnBootGuid);
  ASSERT_TRUE(stored.has_value());
  std::vector<uint8_t> expected(32, 0);
  std::string text = "3_flag_other";
  std::copy(text.begin(), text.end(), expected.begin());
  EXPECT_EQ(*stored, expected);
  EXPECT_EQ(*fw.GetVariable(u"flagarchiveID", TarnBootGuid), (std::vector<uint8_t>{181, 0, 0, 0}));
  EXPECT_EQ(*fw.VariableAttributes(u"flagstate", TarnBootGuid) & EFI_VARIABLE_NON_VOLATILE, 1u);
  EXPECT_EQ(Restored(181), "3_flag_other");
}

TEST_F(FlagStateTest, AStaleOrMissingChoiceIsNotRestored) {
  EXPECT_EQ(Restored(181), "<none>");
  EXPECT_NE(CapturedLog().find("No state found for flagpicker"), std::string::npos);
  fw.SetVariable(u"flagstate", TarnBootGuid, "0_flag", 3);
  EXPECT_EQ(Restored(181), "<none>");
  EXPECT_NE(CapturedLog().find("No state identifier found for flagpicker"), std::string::npos);
  fw.SetVariable(u"flagarchiveID", TarnBootGuid, 3, std::vector<uint8_t>{7, 0});  // too short
  EXPECT_EQ(Restored(181), "<none>");
  fw.SetVariable(u"flagarchiveID", TarnBootGuid, 3, std::vector<uint8_t>{182, 0, 0, 0});
  EXPECT_EQ(Restored(181), "<none>");
  std::string log = CapturedLog();
  EXPECT_NE(log.find("!!! stateIdentifier is stale, (stateIdentifier != flagPicker->archiveIdentifier) !!!"),
            std::string::npos);
  EXPECT_NE(log.find("!!! WILL NOT BE ABLE TO RESTORE FLAG PICKER STATE !!!"), std::string::npos);
  EXPECT_EQ(Restored(182), "0_flag");
  // A state variable longer than its 32 bytes is refused, not read past.
  fw.SetVariable(u"flagstate", TarnBootGuid, std::string(40, 'x'), 3);
  EXPECT_EQ(Restored(182), "<none>");
}

TEST_F(FlagStateTest, ThePreferenceNamesTheFirstOthersItemOfItsLayoutNumber) {
  struct Case {
    std::string value;
    std::string state;  // empty: none
  } cases[] = {
      {"en:0", "66_flag_other"},        {"fr: \t-49", "2_flag_other"},   {"de:3", "29_flag_other"},
      {"x:-31232", "69_flag_other"},    {"en:15", "0_flag_other"},       {"en:-790", "70_flag_other"},
      {"en:12345", ""},                 {"no colon 15", ""},             {"en:-", ""},
      {"en:99999999999999999999", ""},  {std::string(40, ':'), ""},
  };
  for (const Case& c : cases) {
    fw.SetVariable(u"prev-lang:kbd", TarnBootGuid, c.value, 3);
    char state[kFlagStateSize];
    UINTN result = FlagPickerStateFromPreference(state);
    EXPECT_EQ(result, c.state.empty() ? 1u : 0u) << c.value;
    if (result == 0) {
      EXPECT_EQ(std::string(state), c.state) << c.value;
    }
  }
  EXPECT_NE(CapturedLog().find("No state found for IA Pref"), std::string::npos);
}

TEST_F(FlagStateTest, AFailedWriteIsReported) {
  char state[kFlagStateSize];
  ASSERT_EQ(FlagPickerStateString(0, "flag", state), 0u);
  fw.FailNthVariableWrite(2);
  EXPECT_EQ(FlagPickerSaveState(state, 5), 1u);
  EXPECT_NE(CapturedLog().find("SetVariable(flagarchiveID) failed"), std::string::npos);
  EXPECT_EQ(FlagPickerStateString(1, std::string(40, 'p').c_str(), state), 1u);
}

}  // namespace
