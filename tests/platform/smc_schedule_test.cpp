#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine/smc.h"
#include "platform/settings_parser.h"
#include "platform/smc_service.h"
#include "testfw/test_firmware.h"

namespace {

struct Schedules {
  std::vector<SettingsSmcSchedule> seen;
  std::vector<std::vector<uint8_t>> values;
  std::vector<std::string> malformed;
};

Schedules ParseSchedules(const std::string& text) {
  Schedules s;
  SettingsSink sink{&s, nullptr, nullptr, [](void* ctx, size_t, const char* reason) {
                      static_cast<Schedules*>(ctx)->malformed.push_back(reason);
                    }};
  sink.smc_schedule = [](void* ctx, const SettingsSmcSchedule& schedule) {
    auto* s = static_cast<Schedules*>(ctx);
    s->seen.push_back(schedule);
    s->values.emplace_back(schedule.values, schedule.values + schedule.value_size * schedule.count);
  };
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()}, sink);
  return s;
}

TEST(SmcSchedule, ParsesValuesOfOneSizeBigEndian) {
  Schedules s = ParseSchedules("smc-schedule BRSC 2 u16:57 u16:56 hex:0037\nsmc-schedule BSIn 10 u8:3 u8:2\n");
  ASSERT_EQ(s.seen.size(), 2u);
  EXPECT_EQ(s.seen[0].key, SmcKey("BRSC"));
  EXPECT_EQ(s.seen[0].seconds, 2u);
  EXPECT_EQ(s.seen[0].count, 3u);
  EXPECT_EQ(s.values[0], (std::vector<uint8_t>{0, 57, 0, 56, 0, 0x37}));
  EXPECT_EQ(s.values[1], (std::vector<uint8_t>{3, 2}));
  EXPECT_TRUE(s.malformed.empty());
}

TEST(SmcSchedule, RefusesBadLines) {
  Schedules s = ParseSchedules(
      "smc-schedule BRSC\nsmc-schedule BRSC 0 u8:1\nsmc-schedule BRSC x u8:1\nsmc-schedule BRSC 2\n"
      "smc-schedule BRSC 2 u8:1 u16:1\nsmc-schedule BRS 2 u8:1\n");
  EXPECT_TRUE(s.seen.empty());
  EXPECT_EQ(s.malformed.size(), 6u);
}

TEST(SmcSchedule, TheServiceStepsThroughTheValuesOnItsTimer) {
  TestFirmware fw;
  const uint8_t values[] = {0, 57, 0, 56};
  ASSERT_EQ(SmcServiceSchedule(SmcKey("BRSC"), 2, values, 2, 2), EFI_SUCCESS);
  ASSERT_EQ(InstallSmcService(), EFI_SUCCESS);
  auto read = [] {
    uint8_t v[2] = {};
    EXPECT_EQ(SmcReadKey(SmcKey("BRSC"), 2, v), EFI_SUCCESS);
    return v[1];
  };
  EXPECT_EQ(read(), 57);
  fw.Advance100ns(19000000);
  EXPECT_EQ(read(), 57);
  fw.Advance100ns(1000000);
  EXPECT_EQ(read(), 56);
  fw.Advance100ns(20000000);
  EXPECT_EQ(read(), 57);  // over again
  RemoveSmcService();
  uint8_t v[2];
  EXPECT_NE(SmcReadKey(SmcKey("BRSC"), 2, v), EFI_SUCCESS);
  EXPECT_EQ(SmcServiceSchedule(SmcKey("BRSC"), 0, values, 2, 2), EFI_INVALID_PARAMETER);
}

}  // namespace
