// Documents written by Python's plistlib, read by the boot loader's parser and compared node
// by node with what plistlib itself reads (under the boot loader's own rules for numbers
// and dates); then written back and read again, in process and through hearthtool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "config/plist.h"
#include "tests/config/plist_test_support.h"
#include "testfw/test_firmware.h"
#include "tests/required_tool.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A scratch folder with the plistlib corpus, removed afterwards.
class PlistlibCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL(RunShell("python3 -c 'import plistlib' >/dev/null 2>&1"), "python3 with plistlib is not available");
    char pattern[] = "/tmp/plist-corpus-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_TRUE(RunShell("python3 " + Quoted(Script()) + " " + Quoted(dir_))) << "corpus script failed";
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().extension() == ".plist") cases_.push_back(entry.path());
    }
    std::sort(cases_.begin(), cases_.end());
    ASSERT_GE(cases_.size(), 40u);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  static fs::path Script() { return fs::path(__FILE__).parent_path() / "plist_corpus.py"; }
  static std::string Expected(const fs::path& plist) { return ReadFile(fs::path(plist).replace_extension(".expected")); }
  static bool IsArray(const std::string& expected) { return expected.rfind("array", 0) == 0; }
  // The writer leaves out what lies more than 16 levels down; deeper documents do not
  // survive a round trip by design.
  static bool Writable(const std::string& expected) {
    size_t deepest = 0;
    std::istringstream lines(expected);
    for (std::string line; std::getline(lines, line);) deepest = std::max(deepest, line.find_first_not_of(' ') / 2);
    return deepest <= 16;
  }

  fs::path dir_;
  std::vector<fs::path> cases_;
};

TEST_F(PlistlibCorpus, ParserReadsWhatPlistlibReads) {
  size_t round_trips = 0;
  for (const fs::path& path : cases_) {
    TestFirmware fw;
    const std::string expected = Expected(path);
    PlistNode* root = nullptr;
    ASSERT_EQ(ParsePlistCopy(ReadFile(path), &root, IsArray(expected)), EFI_SUCCESS) << path;
    EXPECT_EQ(DumpPlist(root), expected) << path;
    if (!Writable(expected)) {
      PlistFree(root);
      continue;
    }
    ++round_trips;
    PlistNode* again = nullptr;
    ASSERT_EQ(ParsePlistCopy(WritePlist(root), &again, IsArray(expected)), EFI_SUCCESS) << path;
    EXPECT_EQ(DumpPlist(again), expected) << path << " (written and read back)";
    PlistFree(root);
    PlistFree(again);
  }
  EXPECT_GT(round_trips, cases_.size() - 3);
}

// hearthtool plist prints the writer's text; that text, read again, gives the same JSON,
// and the JSON itself matches plistlib's reading.
TEST_F(PlistlibCorpus, HearthtoolRoundTripsTheCorpus) {
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
  const fs::path tool = fs::path(self).parent_path() / "hearthtool";
  REQUIRE_TOOL(fs::exists(tool), "hearthtool is not built next to this test");
  for (size_t i = 0; i < cases_.size(); ++i) {
    const fs::path& path = cases_[i];
    // The hand-made documents and a sample of the random ones: each costs three processes.
    if (!Writable(Expected(path)) || (i >= 9 && i % 4 != 0)) continue;
    const std::string mode = IsArray(Expected(path)) ? " --array " : " ";
    const fs::path json = fs::path(path).replace_extension(".json");
    const fs::path xml = fs::path(path).replace_extension(".xml");
    const fs::path again = fs::path(path).replace_extension(".again");
    ASSERT_TRUE(RunShell(Quoted(tool) + " plist" + mode + Quoted(path) + " > " + Quoted(xml))) << path;
    ASSERT_TRUE(RunShell(Quoted(tool) + " plist --json" + mode + Quoted(path) + " > " + Quoted(json))) << path;
    ASSERT_TRUE(RunShell(Quoted(tool) + " plist --json" + mode + Quoted(xml) + " > " + Quoted(again))) << path;
    EXPECT_EQ(ReadFile(again), ReadFile(json)) << path;
    fs::remove(again);
  }
  EXPECT_TRUE(RunShell("python3 " + Quoted(Script()) + " --check-json " + Quoted(dir_)));
}

}  // namespace
