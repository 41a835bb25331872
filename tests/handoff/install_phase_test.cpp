#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flags/guids.h"
#include "handoff/platform_facts.h"
#include "testfw/test_firmware.h"

namespace {

std::string PhaseList(const std::vector<std::pair<std::string, int>>& phases) {
  std::string text = "<plist version=\"1.0\"><array>";
  for (auto& [name, percentage] : phases) {
    text += "<dict><key>InstallPhase</key><string>" + name + "</string><key>InstallPhasePercentageKey</key><integer>" +
            std::to_string(percentage) + "</integer></dict>";
  }
  return text + "</array></plist>";
}

}  // namespace

TEST(InstallPhase, MeterSpansTheCurrentPhase) {
  struct Case {
    const char* current;
    bool found;
    UINT16 start, end;
  } cases[] = {
      {"Copy", true, 0, 13107},
      {"Install", true, 13107, 32767},
      {"Finish", true, 32767, 65534},
      {"Reboot", false, 0, 0},
  };
  for (const Case& c : cases) {
    TestFirmware fw;
    size_t baseline = 0;
    for (int round = 0; round < 2; ++round) {
      // The first round interns the key names for the rest of the boot; nothing else stays.
      if (round == 1) baseline = fw.LivePoolBlocks();
      std::string list = PhaseList({{"Copy", 20}, {"Install", 30}, {"Finish", 50}});
      UINT16 start = 0, end = 0;
      EXPECT_EQ(InstallPhaseMeter(list.data(), list.size(), c.current, &start, &end), c.found) << c.current;
      if (c.found) {
        EXPECT_EQ(start, c.start) << c.current;
        EXPECT_EQ(end, c.end) << c.current;
      }
    }
    EXPECT_EQ(fw.LivePoolBlocks(), baseline) << "the parsed list is freed";
  }
}

TEST(InstallPhase, SharesOutsideZeroToHundredAreHeldToTheMeter) {
  TestFirmware fw;
  std::string list = PhaseList({{"A", 90}, {"B", 250}, {"C", -40}, {"D", 30}});
  UINT16 start = 0, end = 0;
  ASSERT_TRUE(InstallPhaseMeter(list.data(), list.size(), "B", &start, &end));
  EXPECT_EQ(start, 58981);
  EXPECT_EQ(end, 65535);
  list = PhaseList({{"A", 90}, {"B", 250}, {"C", -40}, {"D", 30}});
  ASSERT_TRUE(InstallPhaseMeter(list.data(), list.size(), "D", &start, &end));
  EXPECT_EQ(start, 65535);
  EXPECT_EQ(end, 65535);
}

TEST(InstallPhase, ReadsBothVariables) {
  TestFirmware fw;
  UINT16 start = 0, end = 0;
  EXPECT_FALSE(ReadInstallPhase(&start, &end)) << "no install in progress";
  fw.SetVariable(u"IASInstallPhaseList", TarnVendorGuid, PhaseList({{"Copy", 20}, {"Install", 30}, {"Finish", 50}}));
  EXPECT_FALSE(ReadInstallPhase(&start, &end)) << "a list alone is no phase";
  fw.SetVariable(u"IASCurrentInstallPhase", TarnVendorGuid, "Install");
  ASSERT_TRUE(ReadInstallPhase(&start, &end));
  EXPECT_EQ(start, 13107);
  EXPECT_EQ(end, 32767);

  // A list larger than the 1024 bytes read is not followed; nor is an overlong phase name.
  std::vector<std::pair<std::string, int>> many(40, {"Step", 1});
  many.push_back({"Install", 30});
  fw.SetVariable(u"IASInstallPhaseList", TarnVendorGuid, PhaseList(many));
  EXPECT_FALSE(ReadInstallPhase(&start, &end));
  fw.SetVariable(u"IASInstallPhaseList", TarnVendorGuid, PhaseList({{std::string(40, 'P'), 30}}));
  fw.SetVariable(u"IASCurrentInstallPhase", TarnVendorGuid, std::string(40, 'P'));
  EXPECT_FALSE(ReadInstallPhase(&start, &end));
}
