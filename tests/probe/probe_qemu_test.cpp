// The 32-bit probe itself runs its hand-off checks under QEMU: the probe kernel is loaded by
// the loader's Mach-O code (slid or not), a synthetic hand-off is laid out after it, and
// QEMU's multiboot loader places the whole memory at its physical address and enters the
// probe in protected mode with paging off. The multiboot command line names the block
// ("probe-boot-args=0x..."), which the probe then checks as if the call gate had passed it.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "flags/boot_mode.h"
#include "files/boot_file.h"
#include "kernel/macho_loader.h"
#include "config/kernel_slide.h"
#include "testfw/test_firmware.h"
#include "tests/probe/handoff_machine.h"
#include "tests/probe/probe_under_qemu.h"
#include "tests/required_tool.h"

using namespace probe_test;
using namespace probe_qemu;

namespace {

class ProbeUnderQemu : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TOOL(ReadFile(ProbeKernelPath(), &file_), "no probe kernel at " << ProbeKernelPath());
    REQUIRE_TOOL(HaveQemu(), "qemu-system-x86_64 not installed");
    static uint8_t acpi_table[36];
    fw_.SetConfigurationTable(kEfiAcpi20TableGuid, acpi_table);
    fw_.SetConfigurationTable(kEfiAcpi10TableGuid, acpi_table);
  }

  // Loads the probe as the loader would, lays the hand-off out after it and runs it.
  QemuRun Run(const HandoffOptions& options) {
    if (options.slide) {
      BootModeFlags |= kBootModeSlide;
      KernelSlide = options.slide;
    }
    KernelImageInfo info = {};
    BootFile boot_file;
    BootFileFromMemory(file_.data(), file_.size(), &boot_file);
    EXPECT_EQ(LoadKernelFromStream(&boot_file, &info), EFI_SUCCESS);
    const uint8_t* low = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(info.LowestPhysical));
    std::vector<uint8_t> image(low, low + (info.HighestPhysical - info.LowestPhysical));
    HandoffMachine machine = BuildHandoffMachine(image, uint32_t(info.LowestPhysical), options);
    AddMultibootHeader(&machine.bytes, machine.base, uint32_t(info.EntryPhysical));
    char argument[64];
    std::snprintf(argument, sizeof(argument), "probe-boot-args=0x%x", machine.block);
    return RunUnderQemu(machine.bytes, 256, argument);
  }

  // The JSON line of the report.
  static std::string Report(const QemuRun& run) {
    std::smatch match;
    std::regex line("\\{\"probe\":\"hearth-handoff\"[^\r\n]*\\}");
    return std::regex_search(run.serial, match, line) ? match.str() : "";
  }

  static size_t CountChecks(const std::string& report) {
    size_t count = 0;
    for (size_t at = report.find("{\"name\":"); at != std::string::npos; at = report.find("{\"name\":", at + 1)) ++count;
    return count;
  }

  TestFirmware fw_;
  std::vector<uint8_t> file_;
};

}  // namespace

TEST_F(ProbeUnderQemu, PassesASoundHandOffSlidOrNot) {
  for (uint32_t slide : {0u, 3u * kProbeSlideUnit}) {
    SCOPED_TRACE(slide);
    HandoffOptions options;
    options.slide = slide;
    options.csr_active_config = true;
    options.csr_value = 0x40;
    options.command_line += " probe-expect-csr=0x40 slide=" + std::to_string(slide / kProbeSlideUnit);
    QemuRun run = Run(options);
    EXPECT_EQ(run.exit_status, kQemuPassed) << run.serial;
    std::string report = Report(run);
    EXPECT_NE(report.find("\"pass\":true"), std::string::npos) << run.serial;
    EXPECT_EQ(report.find("\"ok\":false"), std::string::npos) << run.serial;
    EXPECT_EQ(CountChecks(report), 42u) << "3 of the probe itself, the processor and 38 of the hand-off\n" << report;
    EXPECT_NE(report.find("\"name\":\"processor: protected mode, paging off, flat selectors, interrupts off\""),
              std::string::npos) << run.serial;
    EXPECT_NE(run.serial.find("probe: passed\r\n"), std::string::npos) << run.serial;
  }
}

TEST_F(ProbeUnderQemu, FailsABrokenHandOff) {
  HandoffOptions options;
  options.edit_block = [](BootArgs& args) { args.version = 1; };
  options.hidden.push_back({"/chosen", "random-seed"});
  QemuRun run = Run(options);
  EXPECT_EQ(run.exit_status, kQemuFailed) << run.serial;
  std::string report = Report(run);
  EXPECT_NE(report.find("\"pass\":false"), std::string::npos) << run.serial;
  EXPECT_NE(report.find("{\"name\":\"block revision, version and efiMode\",\"ok\":false"), std::string::npos) << report;
  EXPECT_NE(report.find("{\"name\":\"/chosen random-seed\",\"ok\":false"), std::string::npos) << report;
  EXPECT_NE(run.serial.find("probe: FAIL /chosen random-seed: missing or not 64 bytes\r\n"), std::string::npos);
}
