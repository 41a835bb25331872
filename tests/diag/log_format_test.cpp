#include <gtest/gtest.h>

#include <string>

#include "diag/log.h"
#include "hw/fake/hw_fake.h"
#include "tests/diag/log_test_support.h"

namespace {

class LogFormatTest : public ::testing::Test {
 protected:
  void Start(UINT64 log, UINT64 debug = 0, UINT64 level = kBooterDefaultLevel) {
    UseLogSettings(log, debug, level);
    LogStart(gBooterSettings);
  }
  TestFirmware fw;
  RecordingConsole console{fw};
};

TEST_F(LogFormatTest, LongMessageReachesEverySinkIn148CharacterChunks) {
  Start(kLogSinkConsole | kLogSinkSerial);
  std::string text(300, 'a');
  for (int i = 0; i < 300; ++i) text[i] = char('a' + i % 26);
  LogMessage(kLogCategoryError, "%s", text.c_str());
  ASSERT_EQ(console.calls.size(), 3u);
  EXPECT_EQ(console.calls[0].size(), 148u);
  EXPECT_EQ(console.calls[1].size(), 148u);
  EXPECT_EQ(console.calls[2].size(), 4u);
  EXPECT_EQ(console.All(), text);
  EXPECT_EQ(HwFakeSerialOutput(), text);
}

TEST_F(LogFormatTest, TabsBecomeFourSpacesAndLineFeedsGetCarriageReturns) {
  Start(kLogSinkConsole | kLogSinkSerial);
  LogMessage(kLogCategoryError, "a\tb\nc\n");
  EXPECT_EQ(console.All(), "a    b\r\nc\r\n");
  EXPECT_EQ(HwFakeSerialOutput(), "a    b\r\nc\r\n");
}

TEST_F(LogFormatTest, LevelFiltersByCategory) {
  Start(kLogSinkConsole, 0, 0x1);
  LogMessage(kLogCategoryError, "dropped\n");
  LogMessage(0x3, "kept\n");
  EXPECT_EQ(console.All(), "kept\r\n");
}

TEST_F(LogFormatTest, LogZeroWritesNowhere) {
  MemoryFileSystem fs;
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  Start(0);
  LogMessage(kLogCategoryError, "quiet %d\n", 1);
  EXPECT_TRUE(console.calls.empty());
  EXPECT_TRUE(HwFakeSerialOutput().empty());
  EXPECT_FALSE(fs.Exists("\\BOOTER.LOG"));
  const UINT8* data = nullptr;
  UINTN size = 1;
  LogInMemoryContents(&data, &size);
  EXPECT_EQ(size, 0u);
}

TEST_F(LogFormatTest, SinkMaskSelectsSinks) {
  Start(kLogSinkConsole | kLogSinkSerial);
  auto format = [](UINT64 mask, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    LogFormat(mask, kLogCategoryError, fmt, args);
    va_end(args);
  };
  format(kLogSinkSerial, "serial only");
  EXPECT_TRUE(console.calls.empty());
  EXPECT_EQ(HwFakeSerialOutput(), "serial only");
}

TEST_F(LogFormatTest, SetSinksTurnsTheConsoleOnAndOff) {
  Start(0);
  LogSetSinks(kLogSinkConsole, kLogSinkEnable);
  LogMessage(kLogCategoryError, "on");
  LogSetSinks(kLogSinkConsole, kLogSinkDisable);
  LogMessage(kLogCategoryError, "off");
  EXPECT_EQ(console.All(), "on");
}

TEST_F(LogFormatTest, TimeStampPrefixesEachMessage) {
  fw.SetTime(EFI_TIME{2026, 12, 6, 7, 9, 58, 0, 0, 0, 0, 0});
  Start(kLogSinkConsole, kLogDebugTimeStamps);
  LogMessage(kLogCategoryError, "abc");
  EXPECT_EQ(console.All(), "12/06/2026 07:09:58 abc");
}

TEST_F(LogFormatTest, TimeStampCountsTowardsTheFirstChunk) {
  Start(kLogSinkConsole, kLogDebugTimeStamps);
  LogMessage(kLogCategoryError, "%s", std::string(140, 'x').c_str());
  ASSERT_EQ(console.calls.size(), 2u);
  EXPECT_EQ(console.calls[0].size(), 148u);
  EXPECT_EQ(console.calls[1].size(), 20u + 140 - 148);
}

TEST_F(LogFormatTest, FailingClockLeavesTheTimeStampOut) {
  fw.SetTime(EFI_TIME{}, true);
  Start(kLogSinkConsole, kLogDebugTimeStamps);
  LogMessage(kLogCategoryError, "abc");
  EXPECT_EQ(console.All(), "abc");
}

TEST_F(LogFormatTest, ShutdownStopsTimeStampsAndLeavesOnlyTheSerialPort) {
  Start(kLogSinkConsole | kLogSinkSerial, kLogDebugTimeStamps);
  LogShutdown();
  LogMessage(kLogCategoryError, "after");
  EXPECT_TRUE(console.calls.empty());
  EXPECT_EQ(HwFakeSerialOutput(), "after");
}

TEST_F(LogFormatTest, ShutdownAlsoClosesAConsoleOpenedByTheVerboseKey) {
  Start(0);
  LogSetSinks(kLogSinkConsole, kLogSinkEnable);  // verbose key held at start
  LogShutdown();
  LogMessage(kLogCategoryError, "after exit");
  EXPECT_TRUE(console.calls.empty());
}

TEST_F(LogFormatTest, ConsoleFallsBackToStandardErrorAndDropsWithNeither) {
  RecordingConsole error_console(fw);
  fw.SystemTable()->StdErr = &error_console.protocol;
  fw.SystemTable()->ConOut = nullptr;
  Start(kLogSinkConsole);
  LogMessage(kLogCategoryError, "to stderr");
  EXPECT_EQ(error_console.All(), "to stderr");
  fw.SystemTable()->StdErr = nullptr;
  LogMessage(kLogCategoryError, "nowhere");
  EXPECT_EQ(error_console.All(), "to stderr");
}

TEST(LogFormatToBuffer, SameCharacterHandlingAndWrapsWhenFull) {
  struct Case {
    size_t size;
    const char* format;
    const char* arg;
    std::string text;
  } cases[] = {
      {32, "%s", "a\tb\n", "a    b\r\n"},
      {5, "%s", "abcd", "abcd"},
      {5, "%s", "abcdef", "ef"},      // four held, then writing starts again
      {5, "%s", "abcdefgh", "efgh"},
      {2, "%s", "xyz", "z"},
      {1, "%s", "xyz", ""},
  };
  for (const Case& c : cases) {
    std::vector<char> buffer(c.size + 4, '#');
    UINTN n = LogFormatToBuffer(buffer.data(), c.size, c.format, c.arg);
    EXPECT_EQ(n, c.text.size()) << c.arg << " in " << c.size;
    EXPECT_EQ(std::string(buffer.data()), c.text) << c.arg << " in " << c.size;
    for (size_t i = c.size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << "overrun at " << i;
  }
}

}  // namespace
