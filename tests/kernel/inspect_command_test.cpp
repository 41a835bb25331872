// hearthtool kernelcache inspect, run as a user runs it: its exit status says whether hearth
// would take the file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/kernel/kernel_cache_test_support.h"
#include "tests/required_tool.h"
#include "tools/lib/kernel_cache_container.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exit_code = -1;
  std::string output;
};

Outcome Inspect(const std::vector<uint8_t>& file) {
  const fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / "hearthtool";
  const fs::path path = fs::temp_directory_path() / ("inspect-" + std::to_string(getpid()) + ".bin");
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  Outcome outcome;
  if (FILE* pipe = popen((tool.string() + " kernelcache inspect '" + path.string() + "' 2>&1").c_str(), "r")) {
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), pipe)) > 0) outcome.output.append(chunk, got);
    int status = pclose(pipe);
    outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  fs::remove(path);
  return outcome;
}

TEST(InspectCommand, ExitStatusSaysWhetherTheLoaderWouldTakeTheFile) {
  REQUIRE_TOOL(fs::exists(fs::read_symlink("/proc/self/exe").parent_path() / "hearthtool"),
               "build the hearthtool target first");
  std::string text = "this is a text file, neither a kernel cache nor a kernel\n";
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    bool good;
  } cases[] = {
      {"text", std::vector<uint8_t>(text.begin(), text.end()), false},
      {"container of something else", kernel_cache::BuildContainer(std::vector<uint8_t>(4096, 0x90)), false},
      {"container of a kernel", kernel_cache::BuildContainer(kc_test::Kernel()), true},
      {"plain kernel", kc_test::Kernel(), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome outcome = Inspect(c.file);
    EXPECT_EQ(outcome.exit_code == 0, c.good) << outcome.output;
    EXPECT_NE(outcome.output.find(c.good ? "\nOK\n" : "\nBAD\n"), std::string::npos) << outcome.output;
  }
}

}  // namespace
