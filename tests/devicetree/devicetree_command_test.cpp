// Runs build/host/hearthtool (next to this test program) on trees flattened by the loader.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/hearthtool_run.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/required_tool.h"

namespace {

Outcome RunDeviceTreeCommand(const std::string& arguments) { return RunHearthtool("devicetree " + arguments); }

class DeviceTreeCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL(std::filesystem::exists(Hearthtool()), "build the hearthtool target first");
    file_ = std::filesystem::temp_directory_path() / ("devicetree-" + std::to_string(getpid()) + ".bin");
  }
  void TearDown() override { std::filesystem::remove(file_); }

  // Flattens the loader's tree into the file, cut to keep bytes when keep is given.
  void WriteFlattenedTree(size_t keep = SIZE_MAX) {
    void* block = nullptr;
    UINT32 size = 0;
    ASSERT_EQ(DeviceTreeFlatten(&block, &size), EFI_SUCCESS);
    std::ofstream(file_, std::ios::binary).write(static_cast<char*>(block), std::min<size_t>(size, keep));
    PoolFree(block);
  }

  TestFirmware fw;
  std::filesystem::path file_;
};

TEST_F(DeviceTreeCommand, ListsATreeTheLoaderFlattened) {
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  uint32_t entry[2] = {0x00100000, 0x2000};
  ASSERT_NE(DeviceTreeAddProperty(DeviceTreeFindNode("/chosen/memory-map", true), "Kernel-__TEXT", 8, entry, true), nullptr);
  ASSERT_NE(DeviceTreeAddProperty(DeviceTreeFindNode("/chosen", true), "booter-name", 11, "hearth.efi", true), nullptr);
  WriteFlattenedTree();
  Outcome listing = RunDeviceTreeCommand(file_.string());
  EXPECT_EQ(listing.exit_code, 0) << listing.output;
  EXPECT_EQ(listing.output,
            "/\n"
            "  name = \"/\"\n"
            "  /chosen\n"
            "    name = \"chosen\"\n"
            "    booter-name = \"hearth.efi\"\n"
            "    /chosen/memory-map\n"
            "      name = \"memory-map\"\n"
            "      Kernel-__TEXT = <00001000 00200000>\n");
  Outcome json = RunDeviceTreeCommand("--json " + file_.string());
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_NE(json.output.find("{\"name\": \"booter-name\", \"length\": 11, \"hex\": \"6865617274682e65666900\", "
                             "\"text\": \"hearth.efi\"}"),
            std::string::npos)
      << json.output;
  DeviceTreeFree();
}

TEST_F(DeviceTreeCommand, RejectsATruncatedTree) {
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  ASSERT_NE(DeviceTreeFindNode("/efi/platform", true), nullptr);
  WriteFlattenedTree(50);
  Outcome outcome = RunDeviceTreeCommand(file_.string());
  EXPECT_EQ(outcome.exit_code, 1);
  EXPECT_NE(outcome.output.find("not a valid flattened device tree: truncated"), std::string::npos) << outcome.output;
  DeviceTreeFree();
}

TEST_F(DeviceTreeCommand, CommandLineErrorsAndHelp) {
  Outcome help = RunDeviceTreeCommand("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.output.find("--json"), std::string::npos);
  EXPECT_EQ(RunDeviceTreeCommand("").exit_code, 2);
  EXPECT_EQ(RunDeviceTreeCommand("--frobnicate x").exit_code, 2);
  EXPECT_EQ(RunDeviceTreeCommand("a b").exit_code, 2);
  EXPECT_EQ(RunDeviceTreeCommand((file_.string() + ".missing")).exit_code, 3);
}

}  // namespace
