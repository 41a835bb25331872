// The probe kernel built from probe/: it loads cleanly, slid or not, and (when QEMU is
// installed) its 32-bit code runs from exactly the memory the loader left behind and passes
// its own checks. QEMU enters it through its multiboot loader, which gives the same entry
// conditions as the boot loader's call gate: protected mode, paging off, flat segments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory/memory.h"
#include "kernel/macho_format.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/macho_test_support.h"
#include "tests/probe/probe_under_qemu.h"
#include "tests/required_tool.h"

using namespace macho_test;
using namespace probe_qemu;

namespace {

class ProbeKernel : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL(ReadFile(ProbeKernelPath(), &file_), "no probe kernel at " << ProbeKernelPath());
  }
  // Loads the probe and returns the kernel memory as the loader left it.
  std::vector<uint8_t> LoadedImage(uint64_t slide, KernelImageInfo* info) {
    if (slide) ChooseSlide(slide);
    EXPECT_EQ(Load(file_, info), EFI_SUCCESS);
    const uint8_t* low = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(info->LowestPhysical));
    return std::vector<uint8_t>(low, low + (info->HighestPhysical - info->LowestPhysical));
  }
  std::vector<uint8_t> file_;
};

// A multiboot header in the unused rest of the header page, so QEMU loads the image at its
// physical address and enters it at the kernel's entry point.
void AddMultibootHeader(std::vector<uint8_t>* image, const KernelImageInfo& info) {
  ASSERT_LE(kMachOHeaderSize + GetLe32(*image, kMachOHeaderCommandsSize), kMultibootHeaderAt);
  probe_qemu::AddMultibootHeader(image, uint32_t(info.LowestPhysical), uint32_t(info.EntryPhysical));
}

// Without a block the probe checks only its placement, and only when asked to.
QemuRun RunUnderQemu(const std::vector<uint8_t>& image, const std::string& command_line = "probe-placement-only") {
  return probe_qemu::RunUnderQemu(image, 128, command_line);
}

}  // namespace

TEST_F(ProbeKernel, LoadsCleanlySlidOrNot) {
  for (uint64_t slide : {uint64_t(0), kSlide, uint64_t(0x7F) * kSlide}) {
    SCOPED_TRACE(slide);
    TestFirmware fw;
    KernelImageInfo info;
    std::vector<uint8_t> image = LoadedImage(slide, &info);
    EXPECT_EQ(info.LowestAddress, kBase + slide);
    EXPECT_EQ(info.EntryPoint, kBase + 0x1000 + slide);
    EXPECT_EQ(TrackedAllocationCount(), 3u);
    uint64_t data_offset = GetLe64(file_, 32 + 152 + kSegmentAddress) - kBase;  // second segment: __DATA
    EXPECT_EQ(GetLe64(image, data_offset), kBase + slide) << "the relocated pointer to the header";
    EXPECT_EQ(GetLe64(image, 32 + kSegmentAddress), kBase + slide) << "the header copy's __TEXT";
  }
}

TEST_F(ProbeKernel, RunsFromTheMemoryTheLoaderLeft) {
  REQUIRE_TOOL(HaveQemu(), "qemu-system-x86_64 not installed");
  for (uint64_t slide : {uint64_t(0), kSlide}) {
    SCOPED_TRACE(slide);
    TestFirmware fw;
    KernelImageInfo info;
    std::vector<uint8_t> image = LoadedImage(slide, &info);
    AddMultibootHeader(&image, info);
    QemuRun run = RunUnderQemu(image);
    EXPECT_EQ(run.exit_status, kQemuPassed) << run.serial;
    EXPECT_NE(run.serial.find("probe: entered\r\n"), std::string::npos) << run.serial;
    EXPECT_NE(run.serial.find("probe: passed\r\n"), std::string::npos) << run.serial;
  }
}

TEST_F(ProbeKernel, NoticesAnUnrelocatedPointer) {
  REQUIRE_TOOL(HaveQemu(), "qemu-system-x86_64 not installed");
  TestFirmware fw;
  KernelImageInfo info;
  std::vector<uint8_t> image = LoadedImage(kSlide, &info);
  uint64_t data_offset = GetLe64(file_, 32 + 152 + kSegmentAddress) - kBase;
  PutLe64(&image, data_offset, kBase);  // as if the local relocation had been skipped
  AddMultibootHeader(&image, info);
  QemuRun run = RunUnderQemu(image);
  EXPECT_EQ(run.exit_status, kQemuFailed) << run.serial;
  EXPECT_NE(run.serial.find("probe: FAIL header pointer relocated\r\n"), std::string::npos) << run.serial;
}

// Entered without a block and without asking for the placement checks alone, the probe has
// been handed nothing to check: that is a failure, not a pass.
TEST_F(ProbeKernel, EntryWithoutABlockFails) {
  REQUIRE_TOOL(HaveQemu(), "qemu-system-x86_64 not installed");
  TestFirmware fw;
  KernelImageInfo info;
  std::vector<uint8_t> image = LoadedImage(0, &info);
  AddMultibootHeader(&image, info);
  QemuRun run = RunUnderQemu(image, "");
  EXPECT_EQ(run.exit_status, kQemuFailed) << run.serial;
  EXPECT_NE(run.serial.find("probe: FAIL boot arguments handed over"), std::string::npos) << run.serial;
}
