// Runs build/host/hearthtool efires (next to this test program): what it writes, hearth's
// archive reader reads back the same; what it must refuse, it refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/hearthtool_run.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "ui/archive.h"

namespace {

namespace fs = std::filesystem;

Outcome Efires(const std::string& arguments) { return RunHearthtool("efires " + arguments); }

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
}

class EfiresCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(Hearthtool())) GTEST_SKIP() << "build the hearthtool target first";
    dir_ = fs::temp_directory_path() / ("efires-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(EfiresCommand, PackedFilesReadBackThroughHearthAndExtractUnchanged) {
  std::vector<uint8_t> png(300), uchr = {0x02, 0x10, 1, 2, 3};
  for (size_t i = 0; i < png.size(); ++i) png[i] = uint8_t(i * 7);
  WriteFile(P("lock.png"), png);
  WriteFile(P("layout"), uchr);
  Outcome packed = Efires("pack " + P("ui.efires") + " --format 0x0203 " + P("lock.png") + " keyboard.uchr=" + P("layout"));
  ASSERT_EQ(packed.exit_code, 0) << packed.output;

  TestFirmware fw;
  std::vector<uint8_t> bytes = ReadFile(P("ui.efires"));
  Archive* archive = nullptr;
  ASSERT_EQ(ArchiveCreate(bytes.data(), bytes.size(), &archive), kArchiveOk);
  const void* data = nullptr;
  UINT32 length = 0;
  ASSERT_EQ(ArchiveGetData(archive, "lock.png", FALSE, &data, &length, TRUE), kArchiveOk);
  EXPECT_EQ(std::vector<uint8_t>(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length), png);
  ASSERT_EQ(ArchiveGetData(archive, "keyboard.uchr", FALSE, &data, &length, TRUE), kArchiveOk);
  EXPECT_EQ(length, uchr.size());
  EXPECT_EQ(LoadLe16(bytes.data()), 0x0203);
  ArchiveDestroy(archive);

  Outcome listed = Efires("list " + P("ui.efires"));
  EXPECT_EQ(listed.exit_code, 0);
  EXPECT_NE(listed.output.find("format 0x0203, 2 files"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("keyboard.uchr"), std::string::npos);
  Outcome extracted = Efires("extract " + P("ui.efires") + " " + P("out"));
  ASSERT_EQ(extracted.exit_code, 0) << extracted.output;
  EXPECT_EQ(ReadFile(dir_ / "out" / "lock.png"), png);
  EXPECT_EQ(ReadFile(dir_ / "out" / "keyboard.uchr"), uchr);
}

TEST_F(EfiresCommand, MergeWritesWhatHearthBuildsAndStopsPast1023Files) {
  WriteFile(P("a"), {1});
  WriteFile(P("b"), {2, 2});
  ASSERT_EQ(Efires("pack " + P("one.efires") + " shared=" + P("a") + " only1=" + P("a")).exit_code, 0);
  ASSERT_EQ(Efires("pack " + P("two.efires") + " shared=" + P("b") + " only2=" + P("b")).exit_code, 0);
  Outcome merged = Efires("merge " + P("one.efires") + " " + P("two.efires") + " -o " + P("merged.efires"));
  ASSERT_EQ(merged.exit_code, 0) << merged.output;
  std::vector<uint8_t> bytes = ReadFile(P("merged.efires"));
  EXPECT_EQ(bytes.size(), 73732u + 1 + 1 + 2 + 2);
  TestFirmware fw;
  Archive* archive = nullptr;
  ASSERT_EQ(ArchiveCreate(bytes.data(), bytes.size(), &archive), kArchiveOk);
  const void* data = nullptr;
  UINT32 length = 0;
  ASSERT_EQ(ArchiveGetData(archive, "shared", FALSE, &data, &length, TRUE), kArchiveOk);
  EXPECT_EQ(length, 1u);  // the first archive wins
  ArchiveDestroy(archive);

  std::string many = "pack " + P("many.efires");
  for (int i = 0; i < 1000; ++i) many += " f" + std::to_string(i) + "=" + P("a");
  ASSERT_EQ(Efires(many).exit_code, 0);
  std::string more = "pack " + P("more.efires");
  for (int i = 0; i < 24; ++i) more += " g" + std::to_string(i) + "=" + P("a");
  ASSERT_EQ(Efires(more).exit_code, 0);
  Outcome refused = Efires("merge " + P("many.efires") + " " + P("more.efires") + " -o " + P("too.efires"));
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.output.find("1024 files; a merged archive holds at most 1023"), std::string::npos)
      << refused.output;
  EXPECT_FALSE(fs::exists(P("too.efires")));
}

TEST_F(EfiresCommand, RefusesLongNamesEmptyFilesAndOverlappingData) {
  WriteFile(P("a"), {1, 2, 3, 4});
  WriteFile(P("empty"), {});
  Outcome long_name = Efires("pack " + P("x.efires") + " " + std::string(64, 'n') + "=" + P("a"));
  EXPECT_EQ(long_name.exit_code, 1);
  EXPECT_NE(long_name.output.find("at most 63 fit"), std::string::npos) << long_name.output;
  EXPECT_EQ(Efires("pack " + P("x.efires") + " " + std::string(63, 'n') + "=" + P("a")).exit_code, 0);
  Outcome empty = Efires("pack " + P("y.efires") + " " + P("empty"));
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_NE(empty.output.find("would end the archive's index"), std::string::npos);

  std::vector<uint8_t> overlap = RawArchive({{"x", "", 4 + 72 * 2, 8}, {"y", "", 4 + 72 * 2 + 4, 8}});
  std::string tail = "12345678abcd";
  overlap.insert(overlap.end(), tail.begin(), tail.end());
  WriteFile(P("overlap.efires"), overlap);
  Outcome listed = Efires("list " + P("overlap.efires"));
  EXPECT_EQ(listed.exit_code, 1);
  EXPECT_NE(listed.output.find("overlap"), std::string::npos) << listed.output;
  std::vector<uint8_t> outside = RawArchive({{"x", "", 9000, 8}});
  WriteFile(P("outside.efires"), outside);
  EXPECT_EQ(Efires("extract " + P("outside.efires") + " " + P("out")).exit_code, 1);
  EXPECT_EQ(Efires("frobnicate").exit_code, 2);
}

}  // namespace
