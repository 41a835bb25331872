// The whole boot sequence on the test firmware.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag/fatal.h"
#include "diag/log.h"
#include "flags/guids.h"
#include "handoff/boot_args.h"
#include "hw/fake/hw_fake.h"
#include "testfw/boot_machine.h"
#include "tools/lib/device_tree_decode.h"

namespace {

using How = TestFirmware::RunResult::How;

const DecodedDeviceTreeNode* Child(const DecodedDeviceTreeNode& node, const std::string& name) {
  for (const auto& child : node.children) {
    if (child.Name() == name) return &child;
  }
  return nullptr;
}

}  // namespace

TEST(BootSequence, WithoutKernelEndsThroughFailBoot) {
  TestFirmware fw;
  BootMachine machine(fw);
  auto result = machine.Boot();
  EXPECT_EQ(result.how, How::kExited);
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_NE(fw.ConsoleText().find("Error loading kernel cache (0xe)\r\n"), std::string::npos) << fw.ConsoleText();
  // The console started in graphics, so the text-mode farewell stays off the screen.
  EXPECT_EQ(fw.ConsoleText().find("Boot failed"), std::string::npos);
  EXPECT_EQ(fw.TotalStallMicroseconds(), 10'000'000u);
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

TEST(BootSequence, VerboseLogToSerialShowsTheStages) {
  TestFirmware fw;
  BootMachine machine(fw);
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=3 level=0x80000001");
  auto result = machine.Boot();
  EXPECT_EQ(result.status, EFI_ABORTED);
  // Verbose switched the console to text; the failure path puts back what it found.
  EXPECT_EQ(fw.ConsoleControlMode(), EfiConsoleControlScreenGraphics);
  const std::string& serial = HwFakeSerialOutput();
  size_t at = 0;
  for (const char* mark : {"hearth: Start\r\n", "hearth: Start InitDeviceTree\r\n", "hearth: End InitDeviceTree\r\n",
                           "hearth: Start OpenVolume\r\n", "hearth: Start ProcessOptions\r\n",
                           "hearth: Start SetConsoleMode\r\n",
                           "ERROR!!! Load prelinked kernel with status 0x800000000000000e\r\n"}) {
    size_t found = serial.find(mark, at);
    EXPECT_NE(found, std::string::npos) << mark << " in order, in:\n" << serial;
    if (found != std::string::npos) at = found;
  }
}

TEST(BootSequence, MissingConsoleControlIsFatal) {
  TestFirmware fw;
  BootMachine machine(fw);
  fw.RemoveConsoleControl();
  auto result = machine.Boot();
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_NE(fw.ConsoleText().find("Can not initialize console\r\n"), std::string::npos);
}

TEST(BootSequence, PlainKernelReachesTheCallGateWithABlockTheKernelCanRead) {
  TestFirmware fw;
  BootMachine machine(fw);
  machine.AddSmallKernel();
  fw.SetVariable(u"boot-args", TarnBootGuid, "-v keepsyms=1");
  auto result = machine.Boot();
  ASSERT_EQ(result.how, How::kKernelEntered) << fw.ConsoleText() << HwFakeSerialOutput();
  EXPECT_TRUE(fw.BootServicesExited());
  const HwFakeKernelEntry& entry = HwFakeLastKernelEntry();
  EXPECT_FALSE(entry.interrupts_enabled);
  const auto* args = reinterpret_cast<const BootArgs*>(static_cast<uintptr_t>(entry.boot_args));
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->revision, 0);
  EXPECT_EQ(args->version, 2);
  EXPECT_EQ(args->efiMode, 64);
  EXPECT_EQ(args->flags & 0x31, 0x31);
  EXPECT_NE(std::string(args->commandLine).find("keepsyms=1"), std::string::npos) << args->commandLine;
  EXPECT_LE(args->kernelAddress, entry.entry);
  EXPECT_GT(args->kernelAddress + args->kernelSize, entry.entry);

  std::vector<uint8_t> tree(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(args->deviceTree)),
                            reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(args->deviceTree)) +
                                args->deviceTreeLength);
  DecodedDeviceTreeNode root;
  std::string why;
  ASSERT_TRUE(DecodeDeviceTree(tree.data(), tree.size(), &root, &why)) << why;
  const DecodedDeviceTreeNode* chosen = Child(root, "chosen");
  ASSERT_NE(chosen, nullptr);
  for (const char* name : {"boot-args", "boot-file", "random-seed", "booter-name", "boot-device-path"}) {
    EXPECT_NE(chosen->Find(name), nullptr) << name;
  }
  const DecodedDeviceTreeNode* efi = Child(root, "efi");
  ASSERT_NE(efi, nullptr);
  EXPECT_NE(efi->Find("firmware-abi"), nullptr);
}

TEST(BootSequence, ThirtyTwoBitKernelEndsTheBootAtOnceWithUnsupported) {
  TestFirmware fw;
  BootMachine machine(fw);
  machine.AddSmallKernel();
  const std::string path = "\\System\\Library\\PrelinkedKernels\\prelinkedkernel";
  std::vector<uint8_t> kernel = *machine.boot.ReadFile(path);
  const uint8_t magic32[] = {0xCE, 0xFA, 0xED, 0xFE};
  std::memcpy(kernel.data(), magic32, sizeof(magic32));
  // The development cache is tried before the release one, which stays a good kernel.
  machine.boot.AddFile(path + ".development", kernel);
  auto result = machine.Boot();
  EXPECT_EQ(result.how, How::kExited);
  EXPECT_EQ(result.status, EFI_UNSUPPORTED);
  const std::string console = fw.ConsoleText();
  // Said once: the search does not go on to the good kernel under the next name.
  const std::string said = "Booting from 32-bit kernelcache is not supported. Exiting.\r\n";
  ASSERT_NE(console.find(said), std::string::npos) << console;
  EXPECT_EQ(console.find(said, console.find(said) + 1), std::string::npos) << console;
  EXPECT_EQ(console.find("Error loading kernel cache"), std::string::npos) << console;
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

namespace {
int gFailureScreens = 0;
void DrawFailureScreen() {
  ++gFailureScreens;
  LogMessage(kLogCategoryError, "failure screen drawn\n");
}
}  // namespace

TEST(BootSequence, FailureScreenIsDrawnBeforeTheLogCloses) {
  TestFirmware fw;
  BootMachine machine(fw);
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=4");
  gFailureScreens = 0;
  SetFailureScreen(DrawFailureScreen);
  auto result = machine.Boot();
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_EQ(gFailureScreens, 1);
  // The file sink closes with the log: the line reached the file, so the screen came first.
  const std::string log = machine.esp.FileText("\\BOOTER.LOG");
  EXPECT_NE(log.find("ERROR!!! Load prelinked kernel"), std::string::npos) << log;
  EXPECT_NE(log.find("failure screen drawn\r\n"), std::string::npos) << log;
}
