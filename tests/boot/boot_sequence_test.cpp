// The whole boot sequence on the test firmware.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag/fatal.h"
#include "diag/log.h"
#include "flags/guids.h"
#include "graphics/picture.h"
#include "testfw/memory_graphics_output.h"
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

namespace {

// The rectangle a picture of w x h takes when centred on the screen.
MemoryGraphicsOutput::Box CentredOn(uint32_t sw, uint32_t sh, uint32_t w, uint32_t h) {
  return {(sw - w) / 2, (sh - h) / 2, w, h};
}

bool Inside(const MemoryGraphicsOutput::Box& inner, const MemoryGraphicsOutput::Box& outer) {
  return inner.width > 0 && inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

}  // namespace

TEST(BootSequence, MissingKernelReplacesTheLogoWithTheFailureSign) {
  TestFirmware fw;
  BootMachine machine(fw);
  MemoryGraphicsOutput screen(1024, 768);
  auto result = machine.Boot();
  EXPECT_EQ(result.status, EFI_ABORTED);
  // Without the background-colour protocol the screen is black and the Black artwork shows.
  EXPECT_EQ(screen.Pixel(0, 0), 0u);
  const EmbeddedPicture* sign = FindEmbeddedPicture("CircleSlashBlack");
  ASSERT_NE(sign, nullptr);
  auto box = screen.BoundingBox(0);
  EXPECT_TRUE(Inside(box, CentredOn(1024, 768, sign->width, sign->height)))
      << box.x << "," << box.y << " " << box.width << "x" << box.height;
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
}

TEST(BootSequence, VerboseBootsDrawNothing) {
  TestFirmware fw;
  BootMachine machine(fw);
  MemoryGraphicsOutput screen(1024, 768);
  fw.SetVariable(u"boot-args", TarnBootGuid, "-v");
  machine.Boot();
  EXPECT_EQ(screen.Blts(), 0);
}

TEST(BootSequence, KernelGetsTheVideoRecordAndTheFailedBootPicture) {
  for (bool verbose : {false, true}) {
    SCOPED_TRACE(verbose ? "verbose" : "graphics");
    TestFirmware fw;
    BootMachine machine(fw);
    MemoryGraphicsOutput screen(1024, 768);
    screen.SetFrameBufferBase(0xC0000000);
    machine.AddSmallKernel();
    fw.SetVariable(u"UIScale", TarnVendorGuid, 7, {2});
    if (verbose) fw.SetVariable(u"boot-args", TarnBootGuid, "-v");
    auto result = machine.Boot();
    ASSERT_EQ(result.how, How::kKernelEntered) << fw.ConsoleText();
    const auto* args = reinterpret_cast<const BootArgs*>(static_cast<uintptr_t>(HwFakeLastKernelEntry().boot_args));
    EXPECT_EQ(args->video.displayMode, verbose ? 2u : 1u);
    EXPECT_EQ(args->video.baseAddress, 0xC0000000u);
    EXPECT_EQ(args->video.width, 1024u);
    EXPECT_EQ(args->video.height, 768u);
    EXPECT_EQ(args->video.rowBytes, 4096u);
    EXPECT_EQ(args->video.depth, 32u);
    EXPECT_EQ(args->flags & 0x2, 0x2);  // HiDPI

    std::vector<uint8_t> tree(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(args->deviceTree)),
                              reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(args->deviceTree)) +
                                  args->deviceTreeLength);
    DecodedDeviceTreeNode root;
    std::string why;
    ASSERT_TRUE(DecodeDeviceTree(tree.data(), tree.size(), &root, &why)) << why;
    const DecodedDeviceTreeNode* chosen = Child(root, "chosen");
    const DecodedDeviceTreeNode* map = chosen ? Child(*chosen, "memory-map") : nullptr;
    ASSERT_NE(map, nullptr);
    const EmbeddedPicture* sign = FindEmbeddedPicture("CircleSlashBlack2X");
    ASSERT_NE(sign, nullptr);
    const auto* clut = map->Find("FailedCLUT");
    const auto* image = map->Find("FailedImage");
    ASSERT_TRUE(clut && image);
    ASSERT_EQ(clut->value.size(), 8u);
    ASSERT_EQ(image->value.size(), 8u);
    auto at = [](const std::vector<uint8_t>& v, int i) {
      uint32_t x;
      std::memcpy(&x, v.data() + 4 * i, 4);
      return x;
    };
    EXPECT_EQ(at(clut->value, 1), sign->colors_length);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(uintptr_t(at(clut->value, 0))), sign->colors, sign->colors_length), 0);
    EXPECT_EQ(at(image->value, 1), 32u + sign->width * sign->height);
    const auto* block = reinterpret_cast<const uint32_t*>(uintptr_t(at(image->value, 0)));
    EXPECT_EQ(block[0], sign->width);
    EXPECT_EQ(block[1], sign->height);
    EXPECT_EQ(block[2], 0u);
    EXPECT_EQ(block[3], sign->pixels_length);
    EXPECT_EQ(std::memcmp(block + 8, sign->pixels, sign->pixels_length), 0);
  }
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

TEST(BootSequence, FailureScreenIsDrawnAndTheLogKept) {
  TestFirmware fw;
  BootMachine machine(fw);
  MemoryGraphicsOutput screen(1024, 768);
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=4");
  auto result = machine.Boot();
  EXPECT_EQ(result.status, EFI_ABORTED);
  // The sequence's own failure screen: the sign on the (black) background.
  EXPECT_NE(screen.BoundingBox(0).width, 0u);
  const std::string log = machine.esp.FileText("\\BOOTER.LOG");
  EXPECT_NE(log.find("ERROR!!! Load prelinked kernel"), std::string::npos) << log;
}
