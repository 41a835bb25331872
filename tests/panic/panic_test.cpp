// Panic information: the span between clock readings, the log ring, and the whole step on
// the test firmware (notice, silence for a report already shown, the loop shutdown).
#include <gtest/gtest.h>

#include "tests/config/options_fixture.h"

#include <string>
#include <vector>

#include "config/boot_options.h"
#include "crypto/crc32.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "graphics/display.h"
#include "hw/fake/hw_fake.h"
#include "output/console_mode.h"
#include "panic/panic_info.h"
#include "panic/panic_log.h"
#include "panic/time_span.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_key_state.h"
#include "testfw/test_firmware.h"

namespace {

EFI_TIME At(int year, int month, int day, int hour, int minute, int second) {
  EFI_TIME t{};
  t.Year = UINT16(year);
  t.Month = UINT8(month);
  t.Day = UINT8(day);
  t.Hour = UINT8(hour);
  t.Minute = UINT8(minute);
  t.Second = UINT8(second);
  return t;
}

TEST(TimeSpanSeconds, SameMonthOnlyAcrossDayBorders) {
  struct Case {
    EFI_TIME a, b;
    UINT32 seconds;
  } cases[] = {
      {At(2026, 12, 10, 9, 0, 0), At(2026, 12, 10, 9, 2, 59), 179},
      {At(2026, 12, 10, 9, 0, 0), At(2026, 12, 10, 9, 0, 0), 0},
      {At(2026, 12, 10, 9, 0, 1), At(2026, 12, 10, 9, 0, 0), 0},        // later first
      {At(2026, 12, 10, 23, 59, 0), At(2026, 12, 11, 0, 1, 0), 120},    // midnight
      {At(2026, 12, 10, 23, 59, 0), At(2026, 12, 12, 0, 1, 0), 86520},  // a whole day between
      {At(2026, 12, 11, 0, 1, 0), At(2026, 12, 10, 23, 59, 0), 0},
      {At(2026, 11, 30, 23, 59, 0), At(2026, 12, 1, 0, 1, 0), 0},       // month border: no span
      {At(2025, 12, 31, 23, 59, 0), At(2026, 12, 31, 23, 59, 30), 0},   // other year
      {At(2024, 2, 28, 23, 59, 0), At(2024, 2, 29, 0, 0, 30), 90},      // leap day
      {At(2025, 12, 31, 23, 59, 0), At(2026, 1, 1, 0, 0, 30), 0},       // new year: no span
      {At(2026, 12, 1, 0, 0, 0), At(2026, 12, 31, 23, 59, 59), 2678399},  // a whole month
      {At(2026, 3, 1, 0, 0, 0), At(2026, 3, 2, 0, 0, 0), 86400},        // month and day numbers from March
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TimeSpanSeconds(c.a, c.b), c.seconds) << int(c.a.Day) << " " << int(c.a.Hour) << " -> "
                                                    << int(c.b.Day) << " " << int(c.b.Hour);
  }
}

TEST(PanicLogRing, WrapsAfterFiveAndBreaksOnAnOldEntry) {
  PanicLog log = NewPanicLog(1, At(2026, 12, 10, 9, 0, 0));
  // Entries not yet written are all zero: year 0 breaks the chain.
  EXPECT_EQ(RecordPanic(&log, 2, At(2026, 12, 10, 9, 0, 30)), 0u);
  EXPECT_EQ(log.newest, 1u);
  EXPECT_EQ(RecordPanic(&log, 3, At(2026, 12, 10, 9, 1, 0)), 0u);
  EXPECT_EQ(RecordPanic(&log, 4, At(2026, 12, 10, 9, 1, 30)), 0u);
  // The fifth panic fills the ring: five panics in 120 seconds.
  EXPECT_EQ(RecordPanic(&log, 5, At(2026, 12, 10, 9, 2, 0)), 120u);
  EXPECT_EQ(log.newest, 4u);
  EXPECT_EQ(RecordPanic(&log, 6, At(2026, 12, 10, 9, 2, 30)), 120u);  // 9:00:30 is now the oldest
  EXPECT_EQ(log.newest, 0u);
  EXPECT_EQ(log.crc, 6u);
  EXPECT_EQ(log.times[0].Second, 30);
  // An entry from last month breaks the chain whatever the others say.
  log.times[2] = At(2026, 11, 30, 23, 59, 59);
  EXPECT_EQ(RecordPanic(&log, 7, At(2026, 12, 10, 9, 2, 40)), 0u);

  std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(&log), reinterpret_cast<uint8_t*>(&log) + sizeof(log));
  PanicLog read{};
  EXPECT_TRUE(ReadPanicLog(ByteSpan(bytes.data(), bytes.size()), &read));
  EXPECT_FALSE(ReadPanicLog(ByteSpan(bytes.data(), bytes.size() - 1), &read));
  bytes[0] = 0x35;  // magic
  EXPECT_FALSE(ReadPanicLog(ByteSpan(bytes.data(), bytes.size()), &read));
  bytes[0] = 0x34;
  bytes[4] = 5;  // index outside the ring
  EXPECT_FALSE(ReadPanicLog(ByteSpan(bytes.data(), bytes.size()), &read));
}

class PanicStep : public ::testing::Test {
 protected:
  void SetUp() override {
    fw_.SetVariable(u"SystemAudioVolume", TarnBootGuid, 7, {0x80});
    ASSERT_EQ(InitConsoleMode(), EFI_SUCCESS);
  }
  void Report(const std::vector<std::string>& pieces) {
    const char16_t* names[] = {u"TARN,PanicInfo0000", u"TARN,PanicInfo0001", u"TARN,PanicInfo0002"};
    for (size_t i = 0; i < pieces.size(); ++i) fw_.SetVariable(names[i], TarnBootGuid, pieces[i], 3);
  }
  std::optional<PanicLog> Log() {
    auto bytes = fw_.GetVariable(u"TARN,PanicInfoLog", TarnBootGuid);
    if (!bytes) return std::nullopt;
    PanicLog log{};
    if (!ReadPanicLog(ByteSpan(bytes->data(), bytes->size()), &log)) return std::nullopt;
    return log;
  }
  TestFirmware::RunResult Step() {
    fw_.ClearConsole();
    return fw_.Run([] {
      ShowPanicInformation();
      return EFI_SUCCESS;
    });
  }
  bool NoticeShown() { return fw_.ConsoleText().find("rebooted after panic") != std::string::npos; }

  TestFirmware fw_;
  MemoryGraphicsOutput screen_{640, 480};
};

TEST_F(PanicStep, NewReportShowsTheDialogOnceAndLogsItsCrc) {
  Report({"panic(cpu 0): ", "boom"});  // piece 2 missing: pieces 0 and 1 only
  fw_.SetVariable(u"TARN,PanicInfo0003", TarnBootGuid, "ignored", 3);
  fw_.SetTime(At(2026, 12, 10, 9, 0, 0));
  EXPECT_EQ(Step().how, TestFirmware::RunResult::How::kReturned);
  EXPECT_TRUE(NoticeShown());
  auto log = Log();
  ASSERT_TRUE(log);
  EXPECT_EQ(log->crc, Crc32(0, "panic(cpu 0): boom", 18));
  EXPECT_EQ(log->times[0].Minute, 0);
  EXPECT_GE(fw_.TotalStallMicroseconds(), 11u * 1000 * 1000);  // 10 s for a key, then 1 s
  EXPECT_NE(screen_.Blts(), 0);                                // the dialog was drawn

  // The same report on the next boot: nothing at all.
  fw_.SetTime(At(2026, 12, 10, 9, 0, 30));
  Step();
  EXPECT_FALSE(NoticeShown());
}

TEST_F(PanicStep, FifthPanicWithinThreeMinutesPowersOff) {
  for (int boot = 0; boot < 5; ++boot) {
    SCOPED_TRACE(boot);
    Report({"panic number " + std::to_string(boot)});
    fw_.SetTime(At(2026, 12, 10, 9, 0, boot * 40));  // 0, 40, 80, 120, 160 s
    auto result = Step();
    if (boot < 4) {
      EXPECT_EQ(result.how, TestFirmware::RunResult::How::kReturned);
      EXPECT_TRUE(NoticeShown());
      continue;
    }
    EXPECT_EQ(result.how, TestFirmware::RunResult::How::kReset);
    EXPECT_EQ(result.reset_type, EfiResetShutdown);
    EXPECT_NE(fw_.ConsoleText().find("Panic loop detected (5 in 160 seconds).  System will shut down."),
              std::string::npos)
        << fw_.ConsoleText();
    EXPECT_FALSE(fw_.GetVariable(u"TARN,PanicInfoLog", TarnBootGuid).has_value());
  }
}

TEST_F(PanicStep, FiveWithinThreeMinutesAcrossAMonthBorderIsNoLoop) {
  for (int boot = 0; boot < 5; ++boot) {
    Report({"panic number " + std::to_string(boot)});
    // 23:59:00 on 30 November, then past midnight into December.
    fw_.SetTime(boot < 2 ? At(2026, 11, 30, 23, 59, boot * 20) : At(2026, 12, 1, 0, 0, boot * 10));
    EXPECT_EQ(Step().how, TestFirmware::RunResult::How::kReturned) << boot;
    EXPECT_TRUE(NoticeShown()) << boot;
  }
}

TEST_F(PanicStep, QuietWithoutAudioBitOrReportAndCorruptLogsAreReplaced) {
  Report({"a panic"});
  fw_.SetVariable(u"SystemAudioVolume", TarnBootGuid, 7, {0x7F});
  Step();
  EXPECT_FALSE(NoticeShown());
  EXPECT_FALSE(Log());
  BootModeFlags |= kBootModeDebug;  // the volume is not looked at
  fw_.SetVariable(u"TARN,PanicInfoLog", TarnBootGuid, 3, std::vector<uint8_t>(92, 0x55));
  Step();
  EXPECT_TRUE(NoticeShown());
  EXPECT_FALSE(fw_.GetVariable(u"TARN,PanicInfoLog", TarnBootGuid).has_value());  // deleted

  fw_.SetVariable(u"TARN,PanicInfo0000", TarnBootGuid, 3, {});
  Step();
  EXPECT_FALSE(NoticeShown());
}

TEST_F(PanicStep, VerboseBootsWaitFiveSecondsInText) {
  BootModeFlags |= kBootModeVerbose;
  Report({"a panic"});
  Step();
  EXPECT_TRUE(NoticeShown());
  EXPECT_EQ(fw_.TotalStallMicroseconds(), 5u * 1000 * 1000);
  EXPECT_EQ(GetConsoleMode(), kConsoleModeText);
  EXPECT_EQ(screen_.Blts(), 0);
}

// Keys pressed while the notice is up reach the kernel: the command line is rebuilt from
// the flags they set, keeping what ProcessOptions had put there.
class PanicKeys : public BooterFixture {
 protected:
  void SetUp() override {
    BooterFixture::SetUp();
    fw_.SetVariable(u"SystemAudioVolume", TarnBootGuid, 7, {0x80});
    fw_.SetVariable(u"TARN,PanicInfo0000", TarnBootGuid, "a panic", 3);
    ASSERT_EQ(InitConsoleMode(), EFI_SUCCESS);
  }
  void Step() {
    fw_.Run([] {
      ShowPanicInformation();
      return EFI_SUCCESS;
    });
  }
  MemoryGraphicsOutput screen_{640, 480};
  MemoryKeyState keys_;
};

TEST_F(PanicKeys, KeysHeldAfterTheNoticeRebuildTheCommandLine) {
  SetBootArgs("keepme=1 debug");
  ASSERT_EQ(Process(u"rd=*uuid"), "rd=*uuid keepme=1 debug");
  keys_.Hold(kTarnKeyModifierCommand, {kTarnKeyV});
  keys_.Install();
  Step();
  EXPECT_TRUE(BootModeFlags & kBootModeVerbose);
  EXPECT_STREQ(KernelCommandLine(), "rd=*uuid keepme=1 debug -v");

  // Shift alone: safe mode, whose filter keeps only the tokens it allows.
  fw_.SetVariable(u"TARN,PanicInfo0000", TarnBootGuid, "another panic", 3);
  keys_.Hold(0x02, {});
  Step();
  EXPECT_STREQ(KernelCommandLine(), "-v -x");
}

TEST_F(PanicKeys, NoNoticeNoRebuild) {
  ASSERT_EQ(Process(u"rd=*uuid"), "rd=*uuid");
  const char* before = KernelCommandLine();
  keys_.Hold(kTarnKeyModifierCommand, {kTarnKeyV});
  keys_.Install();
  fw_.SetVariable(u"SystemAudioVolume", TarnBootGuid, 7, {0x00});  // the notice stays away
  Step();
  EXPECT_EQ(KernelCommandLine(), before);
  EXPECT_FALSE(BootModeFlags & kBootModeVerbose);
}

}  // namespace
