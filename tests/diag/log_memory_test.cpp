#include <gtest/gtest.h>

#include <string>

#include "diag/log.h"
#include "tests/diag/log_test_support.h"

namespace {

std::string Contents() {
  const UINT8* data = nullptr;
  UINTN size = 0;
  LogInMemoryContents(&data, &size);
  return std::string(reinterpret_cast<const char*>(data), size);
}

struct Published {
  std::string node;
  std::string property;
  std::string value;
  int calls = 0;
};

EFI_STATUS Publish(const char* node, const char* property, const void* value, UINT32 length, void* context) {
  auto* p = static_cast<Published*>(context);
  p->node = node;
  p->property = property;
  p->value.assign(static_cast<const char*>(value), length);
  ++p->calls;
  return EFI_SUCCESS;
}

TEST(LogMemory, KeptOnlyWhenDebugAsksForIt) {
  TestFirmware fw;
  UseLogSettings(0, 0);
  LogStart(gBooterSettings);
  LogMessage(kLogCategoryError, "not kept\n");
  EXPECT_EQ(Contents(), "");
  UseLogSettings(0, kLogDebugPublishMemoryLog);
  LogStart(gBooterSettings);
  LogMessage(kLogCategoryError, "kept\n");
  EXPECT_EQ(Contents(), "kept\r\n");
}

TEST(LogMemory, FullCopyKeepsTheNewestWholeLines) {
  TestFirmware fw;
  UseLogSettings(0, kLogDebugPublishMemoryLog);
  LogStart(gBooterSettings);
  const std::string last = "line 01999 ............................\r\n";
  for (int i = 0; i < 2000; ++i) LogMessage(kLogCategoryError, "line %05d ............................\n", i);
  std::string text = Contents();  // 2000 lines of 41 bytes overflow 64 KiB
  EXPECT_LE(text.size(), kLogMemorySize);
  EXPECT_GT(text.size(), kLogMemorySize - last.size());
  EXPECT_EQ(text.substr(0, 5), "line ");  // starts on a whole line
  EXPECT_EQ(text.size() % last.size(), 0u);
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  // Reading does not disturb later writes.
  LogMessage(kLogCategoryError, "tail\n");
  text = Contents();
  EXPECT_EQ(text.substr(text.size() - 6), "tail\r\n");
}

TEST(LogMemory, PublishedToTheDeviceTreeOnlyWhenAsked) {
  TestFirmware fw;
  UseLogSettings(0, kLogDebugAppendMemoryLog);
  LogStart(gBooterSettings);
  LogMessage(kLogCategoryError, "boot\n");
  Published published;
  EXPECT_EQ(LogPublishToDeviceTree(Publish, &published), EFI_SUCCESS);
  EXPECT_EQ(published.calls, 0);

  gBooterSettings.debug = kLogDebugPublishMemoryLog;
  LogStart(gBooterSettings);
  EXPECT_EQ(LogPublishToDeviceTree(Publish, &published), EFI_SUCCESS);
  EXPECT_EQ(published.calls, 1);
  EXPECT_EQ(published.node, "/efi/debug-log");
  EXPECT_EQ(published.property, "hearth");
  EXPECT_EQ(published.value, "boot\r\n");
}

TEST(LogMemory, EmptyCopyIsNotPublished) {
  TestFirmware fw;
  UseLogSettings(0, kLogDebugPublishMemoryLog);
  LogStart(gBooterSettings);
  Published published;
  EXPECT_EQ(LogPublishToDeviceTree(Publish, &published), EFI_SUCCESS);
  EXPECT_EQ(published.calls, 0);
}

}  // namespace
