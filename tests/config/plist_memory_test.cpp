#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/plist.h"
#include "config/plist_pool.h"
#include "memory/memory.h"
#include "tests/config/plist_test_support.h"
#include "testfw/test_firmware.h"

namespace {

PlistPoolCounts Counts() {
  PlistPoolCounts counts{};
  PlistGetPoolCounts(&counts);
  return counts;
}

// Every tracked allocation left is a node block or an interned text, and no node is live.
void ExpectOnlyPoolAndSymbolsLeft(const std::string& context) {
  PlistPoolCounts counts = Counts();
  EXPECT_EQ(counts.liveNodes, 0u) << context;
  EXPECT_EQ(TrackedAllocationCount(), counts.nodeBlocks + counts.symbols) << context;
}

std::string Base64Of(size_t bytes) {
  std::string text;
  for (size_t i = 0; i < bytes / 3; ++i) text += "AQID";
  return text;
}

// Keys, shared and unshared strings, data that outgrows its first buffer, a top-level value
// that is freed before the dict, and more nodes than one pool block holds.
std::string BigDocument() {
  std::string text = "<string>skipped</string><dict><key>name</key><string>shared</string><key>other</key>"
                     "<string>shared</string><key>blob</key><data>" + Base64Of(6000) + "</data><key>flags</key><array>";
  for (size_t i = 0; i < kPlistNodesPerBlock; ++i) text += "<true/>";
  return text + "</array><key>last</key><string>only &amp; once</string></dict>";
}

TEST(PlistMemory, FreeReturnsEverythingButKeyNamesAndPoolBlocks) {
  TestFirmware fw;
  PlistNode* dict = nullptr;
  ASSERT_EQ(ParsePlistCopy(BigDocument(), &dict), EFI_SUCCESS);
  EXPECT_EQ(Counts().nodeBlocks, 2u);
  EXPECT_EQ(Counts().symbols, 7u);  // five keys, "shared" once, "only & once"
  EXPECT_EQ(PlistDictLookup(dict, "name")->string, PlistDictLookup(dict, "other")->string);
  PlistFree(dict);
  EXPECT_EQ(Counts().symbols, 5u);
  ExpectOnlyPoolAndSymbolsLeft("after free");

  // A second round reuses the freed nodes and the interned keys: nothing new stays behind.
  const size_t blocks = fw.LivePoolBlocks();
  ASSERT_EQ(ParsePlistCopy(BigDocument(), &dict), EFI_SUCCESS);
  PlistFree(dict);
  EXPECT_EQ(fw.LivePoolBlocks(), blocks);
  EXPECT_EQ(Counts().nodeBlocks, 2u);
}

TEST(PlistMemory, FailedParsesFreeTheirPartialTrees) {
  TestFirmware fw;
  const std::string document = BigDocument();
  const size_t cut_points[] = {40, 200, document.size() / 2, document.size() - 10};
  for (size_t cut : cut_points) {
    PlistNode* dict = nullptr;
    EXPECT_EQ(ParsePlistCopy(document.substr(0, cut), &dict), EFI_NOT_FOUND);
    ExpectOnlyPoolAndSymbolsLeft("cut at " + std::to_string(cut));
  }
}

// Fails each allocation of a parse, write and free in turn, on a fresh firmware each time:
// the outcome is a clean status (a text that cannot be interned is also reported on the
// console), and nothing leaks.
TEST(PlistMemory, EveryAllocationFailureIsClean) {
  const std::string document = BigDocument();
  bool completed = false;
  int symbol_failures = 0;
  int status_failures = 0;
  for (int n = 1; !completed && n < 200; ++n) {
    TestFirmware fw;
    std::vector<char> text(document.begin(), document.end());  // outside Run: an exit skips destructors
    EFI_STATUS parse_status = EFI_SUCCESS;
    EFI_STATUS write_status = EFI_SUCCESS;
    fw.FailNthAllocation(n);
    auto result = fw.Run([&] {
      PlistNode* dict = nullptr;
      parse_status = PlistParseDictionary(text.data(), text.size(), &dict);
      if (EFI_ERROR(parse_status)) return parse_status;
      char* xml = nullptr;
      write_status = PlistWriteXml(dict, &xml);
      PoolFree(xml);
      PlistFree(dict);
      return write_status;
    });
    std::string context = "failing allocation " + std::to_string(n);
    ASSERT_EQ(result.how, TestFirmware::RunResult::How::kReturned) << context;
    if (fw.ConsoleText().find("NULL symbol!") != std::string::npos) {
      EXPECT_EQ(parse_status, EFI_OUT_OF_RESOURCES) << context;
      ++symbol_failures;
    }
    EXPECT_TRUE(parse_status == EFI_SUCCESS || parse_status == EFI_OUT_OF_RESOURCES) << context;
    EXPECT_TRUE(write_status == EFI_SUCCESS || write_status == EFI_OUT_OF_RESOURCES) << context;
    ExpectOnlyPoolAndSymbolsLeft(context);
    completed = parse_status == EFI_SUCCESS && write_status == EFI_SUCCESS;
    if (!completed) ++status_failures;
  }
  EXPECT_TRUE(completed);
  EXPECT_GT(symbol_failures, 0);
  EXPECT_GT(status_failures, 3);  // node blocks, data buffers, the writer's text
}

TEST(PlistMemory, SymbolsAreSharedAndCounted) {
  TestFirmware fw;
  const char* a = PlistSymbolIntern("text");
  char copy[] = "text";
  EXPECT_EQ(PlistSymbolIntern(copy), a);
  EXPECT_EQ(Counts().symbols, 1u);
  PlistSymbolRelease(a);
  EXPECT_EQ(Counts().symbols, 1u);
  PlistSymbolRelease("text");  // not the interned copy: ignored
  EXPECT_EQ(Counts().symbols, 1u);
  PlistSymbolRelease(a);
  EXPECT_EQ(Counts().symbols, 0u);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

}  // namespace
