// hearthtool hibernate end to end: create writes an image the loader's layout accepts,
// inspect explains it and names what the loader would refuse.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "hibernate/image_format.h"
#include "lib/mem.h"
#include "tests/hearthtool_run.h"

namespace fs = std::filesystem;

namespace {

// The tool's exit code, its output appended to *output.
int RunTool(const std::string& arguments, std::string* output) {
  Outcome outcome = RunHearthtool(arguments);
  output->append(outcome.output);
  return outcome.exit_code;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(HibernateCommand, CreateThenInspect) {
  ASSERT_TRUE(fs::exists(Hearthtool())) << "build the hearthtool target first";
  fs::path dir = fs::temp_directory_path() / ("hearth-hibernate-" + std::to_string(getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "d.hib") << "block-size = 4096\nextents = 3\nencrypt = on\n"
                                  "key = 000102030405060708090a0b0c0d0e0f\nvolume-uuid = "
                                  "01234567-89ab-cdef-0123-456789abcdef\nmemory-size = 0x20000\n"
                                  "perf-start = 0x200000\nperf-size = 0x1000\n";
  std::string out;
  ASSERT_EQ(RunTool("hibernate create " + (dir / "d.hib").string() + " -o " + dir.string(), &out), 0) << out;
  std::string image = ReadAll(dir / "sleepimage");
  ASSERT_GE(image.size(), 512u);
  ImageLayout layout{};
  EXPECT_EQ(ImageLayoutFromHeader(ByteSpan(image.data(), 512), &layout, nullptr), EFI_SUCCESS);
  EXPECT_TRUE(layout.encrypted);
  EXPECT_EQ(LoadLe32(image.data() + kHdrPerfDataStart), 0x200000u);
  EXPECT_EQ(LoadLe32(image.data() + kHdrPerfDataSize), 0x1000u);
  EXPECT_EQ(ReadAll(dir / "boot-image.txt"), "100000:01234567-89ab-cdef-0123-456789abcdef");
  EXPECT_EQ(ReadAll(dir / "boot-switch-vars.bin").size(), 44u);

  out.clear();
  EXPECT_EQ(RunTool("hibernate inspect " + (dir / "partition.img").string() + " --offset 0x100000", &out), 0) << out;
  EXPECT_NE(out.find("extent 2"), std::string::npos) << out;
  EXPECT_NE(out.find("performance area     0x200000, 4096 bytes"), std::string::npos) << out;
  EXPECT_NE(out.find("the loader would read this image"), std::string::npos);

  // A damaged header: the extent map size is refused.
  StoreLe32(image.data() + kHdrExtentMapSize, 40);
  std::ofstream(dir / "bad", std::ios::binary) << image;
  out.clear();
  EXPECT_EQ(RunTool("hibernate inspect " + (dir / "bad").string(), &out), 1);
  EXPECT_NE(out.find("refused: extent map size"), std::string::npos) << out;

  out.clear();
  EXPECT_EQ(RunTool("hibernate create " + (dir / "d.hib").string(), &out), 2) << "no -o";
  std::ofstream(dir / "e.hib") << "colour = blue\n";
  out.clear();
  EXPECT_EQ(RunTool("hibernate create " + (dir / "e.hib").string() + " -o " + dir.string(), &out), 1);
  EXPECT_NE(out.find("unknown name 'colour'"), std::string::npos) << out;
  fs::remove_all(dir);
}

}  // namespace
