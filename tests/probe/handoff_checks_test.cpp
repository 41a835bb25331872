// The probe's checks, compiled for the host, on hand-offs built with the loader's own
// block and device-tree code: a sound hand-off passes every check, and each check fails on
// the fault it is there to catch.
#include <gtest/gtest.h>

#include <functional>

#include <cstring>
#include <regex>

#include "efi/efi.h"
#include "devicetree/device_tree.h"
#include "testfw/test_firmware.h"
#include "tests/probe/handoff_machine.h"
#include "tests/probe/probe_host.h"

using namespace probe_test;

namespace {

constexpr char kAcpi20Child[] = "/efi/configuration-table/8868E871-E4F1-11D3-BC22-0080C73C8881";
uint8_t acpi_table[36];

class HandoffChecks : public testing::Test {
 protected:
  void SetUp() override {
    fw_.SetConfigurationTable(kEfiAcpi20TableGuid, acpi_table);
    fw_.SetConfigurationTable(kEfiAcpi10TableGuid, acpi_table);
    probe_host::ResetReport();
  }
  void TearDown() override { probe_host::Forget(); }

  // Builds the machine, runs every check on it (processor included) and keeps the machine
  // mapped until the test ends.
  void Run(const HandoffOptions& options, probe_processor processor = GateProcessor()) {
    machine_ = BuildHandoffMachine({}, kUnslidPhysical + options.slide, options);
    probe_host::Map(machine_.base, machine_.bytes);
    probe_context context = ContextFor(machine_, options.slide);
    context.processor = processor;
    probe_check_processor(&context.processor);
    probe_check_handoff(&context);
  }

  TestFirmware fw_;
  HandoffMachine machine_;
};

void AddText(const char* path, const char* name, const char* text) {
  DeviceTreeAddProperty(DeviceTreeFindNode(path, true), name, uint32_t(std::strlen(text) + 1), text, true);
}

void AddBytes(const char* path, const char* name, std::vector<uint8_t> bytes) {
  DeviceTreeAddProperty(DeviceTreeFindNode(path, true), name, uint32_t(bytes.size()), bytes.data(), true);
}

BootArgs& Args(std::vector<uint8_t>& bytes, uint32_t base, uint32_t block) {
  return *reinterpret_cast<BootArgs*>(&bytes[block - base]);
}

}  // namespace

TEST_F(HandoffChecks, SoundHandOffPassesEveryCheck) {
  Run(HandoffOptions{});
  EXPECT_EQ(probe_host::Failures(), "");
  EXPECT_EQ(probe_host::Results().size(), 39u) << probe_host::Output();
}

TEST_F(HandoffChecks, ReportIsOneJsonLine) {
  HandoffOptions options;
  options.command_line += " quote=\"x\"";
  Run(options);
  probe_host::ResetReport();
  probe_report("first", 1, "back\\slash \"quoted\"\ttab");
  probe_report("second", 0, "");
  probe_report_json();
  EXPECT_EQ(probe_host::Output().substr(probe_host::Output().find('{')),
            "{\"probe\":\"hearth-handoff\",\"pass\":false,\"checks\":["
            "{\"name\":\"first\",\"ok\":true,\"detail\":\"back\\\\slash \\\"quoted\\\"\\u0009tab\"},"
            "{\"name\":\"second\",\"ok\":false,\"detail\":\"\"}]}\n");
}

TEST_F(HandoffChecks, EveryRealReportIsValidJsonShape) {
  Run(HandoffOptions{});
  probe_host::ResetReport();
  probe_context context = ContextFor(machine_, 0);
  probe_check_handoff(&context);
  probe_report_json();
  std::string line = probe_host::Output().substr(probe_host::Output().rfind("{\"probe\""));
  EXPECT_TRUE(std::regex_search(line, std::regex("^\\{\"probe\":\"hearth-handoff\",\"pass\":true,\"checks\":\\[")));
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  // boot-file holds backslashes: escaped, never raw
  EXPECT_NE(line.find("System\\\\Library\\\\PrelinkedKernels"), std::string::npos) << line;
}

TEST_F(HandoffChecks, SlidKernelWithSlideOption) {
  HandoffOptions options;
  options.slide = 3 * kProbeSlideUnit;
  options.csr_active_config = true;
  options.csr_value = 0x67;
  options.command_line += " probe-expect-csr=0x67 slide=3";
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "");

  probe_host::ResetReport();
  options.command_line += "0";  // slide=30: the loader should have slid by 60 MiB
  Run(options);
  EXPECT_TRUE(probe_host::Failed("kernel slid by kernelSlide")) << probe_host::Output();
}

TEST_F(HandoffChecks, VideoRecordAndFailedBootSign) {
  struct Case {
    const char* what;
    std::function<void(HandoffOptions&)> edit;
    const char* failed;  // null: passes
  } cases[] = {
      {"as expected", [](HandoffOptions& o) { o.command_line += " probe-expect-video=2"; }, nullptr},
      {"graphics expected",
       [](HandoffOptions& o) { o.command_line += " probe-expect-video=1"; }, "block video record"},
      {"all zero", [](HandoffOptions& o) { o.edit_block = [](BootArgs& a) { a.video = BootVideo{}; }; },
       "block video record"},
      {"text console without a frame buffer",
       [](HandoffOptions& o) { o.edit_block = [](BootArgs& a) { a.video = BootVideo{0, 2, 0, 0, 0, 0}; }; }, nullptr},
      {"graphics console without a frame buffer",
       [](HandoffOptions& o) { o.edit_block = [](BootArgs& a) { a.video = BootVideo{0, 1, 0, 0, 0, 0}; }; },
       "block video record"},
      {"rows too short",
       [](HandoffOptions& o) { o.edit_block = [](BootArgs& a) { a.video.rowBytes = 1023 * 4; }; }, "block video record"},
      {"no FailedImage", [](HandoffOptions& o) { o.hidden = {{"/chosen/memory-map", "FailedImage"}}; },
       "FailedCLUT and FailedImage"},
      {"header not zero",
       [](HandoffOptions& o) {
         o.edit_memory = [](std::vector<uint8_t>& bytes, uint32_t, uint32_t) {
           // The sign's header sits 64 bytes into the spare half of the memory-map page.
           const uint32_t header[4] = {4, 4, 0, 3};
           for (size_t i = 0; i + 32 <= bytes.size(); i += 4) {
             if (std::memcmp(&bytes[i], header, sizeof(header)) == 0) bytes[i + 20] = 1;
           }
         };
       },
       "FailedCLUT and FailedImage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    probe_host::ResetReport();
    HandoffOptions options;
    c.edit(options);
    Run(options);
    if (c.failed) {
      EXPECT_TRUE(probe_host::Failed(c.failed)) << probe_host::Output();
    } else {
      EXPECT_EQ(probe_host::Failures(), "");
    }
  }
}

TEST_F(HandoffChecks, SlideOptionWithoutCsrBitSetsNoExpectation) {
  HandoffOptions options;
  options.slide = 5 * kProbeSlideUnit;  // a random slide: "slide=3" was ignored by the loader
  options.command_line += " slide=3";
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "");
}

TEST_F(HandoffChecks, SlideValueForTheOneQuirkyModel) {
  EXPECT_EQ(probe_slide_value(3, 0x000206A7), 3u * kProbeSlideUnit);
  EXPECT_EQ(probe_slide_value(128, 0x000206A7), 128u * kProbeSlideUnit + 0x10200000);  // family 6 model 0x2A
  EXPECT_EQ(probe_slide_value(128, 0x000806C1), 128u * kProbeSlideUnit);
}

TEST_F(HandoffChecks, RdSuppressesRootProperties) {
  HandoffOptions options;
  options.command_line = "rd probe-expect-adler=0x1234abcd";
  options.publish_boot_uuid = false;
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "");

  probe_host::ResetReport();
  options.publish_boot_uuid = true;
  Run(options);
  EXPECT_TRUE(probe_host::Failed("/chosen root device")) << probe_host::Output();
}

TEST_F(HandoffChecks, BootUuidWithoutExpectationMustBeAGuidText) {
  HandoffOptions options;
  options.command_line = "probe-expect-adler=0x1234abcd";
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "");

  probe_host::ResetReport();
  options.before_properties = [] { AddText("/chosen", "boot-uuid", "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"); };
  Run(options);
  EXPECT_TRUE(probe_host::Failed("/chosen root device")) << probe_host::Output();
}

TEST_F(HandoffChecks, PerformanceRecordOnlyWhenRequested) {
  HandoffOptions options;
  options.performance_record = true;
  options.command_line += " probe-expect-perf";
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "");

  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    probe_host::ResetReport();
    HandoffOptions broken = options;
    if (variant == 0) broken.performance_record = false;                                     // asked, not given
    if (variant == 1) broken.command_line = HandoffOptions{}.command_line;                   // given, not asked
    if (variant == 2) broken.edit_memory = [](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
      m[Args(m, base, block).performanceDataStart - base + 12] = 0xFF;  // bytes used beyond the record
    };
    Run(broken);
    EXPECT_TRUE(probe_host::Failed("performance data")) << probe_host::Output();
  }
}

struct BrokenHandOff {
  const char* what;
  const char* failing_check;
  std::function<void(HandoffOptions&)> damage;
};

class EachCheckCatchesItsFault : public HandoffChecks, public testing::WithParamInterface<BrokenHandOff> {};

TEST_P(EachCheckCatchesItsFault, Fails) {
  HandoffOptions options;
  GetParam().damage(options);
  Run(options);
  EXPECT_TRUE(probe_host::Failed(GetParam().failing_check)) << GetParam().what << "\n" << probe_host::Output();
}

void Block(HandoffOptions& o, std::function<void(BootArgs&)> edit) { o.edit_block = std::move(edit); }
void Map(HandoffOptions& o, std::function<void(std::vector<EFI_MEMORY_DESCRIPTOR>&)> edit) { o.edit_map = std::move(edit); }
void Before(HandoffOptions& o, std::function<void()> add) { o.before_properties = std::move(add); }
void Hide(HandoffOptions& o, const char* path, const char* name) { o.hidden.push_back({path, name}); }
void TreeBytes(HandoffOptions& o, std::function<void(uint8_t* tree)> edit) {
  o.edit_memory = [edit](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
    edit(&m[Args(m, base, block).deviceTree - base]);
  };
}

INSTANTIATE_TEST_SUITE_P(
    Block, EachCheckCatchesItsFault,
    testing::Values(
        BrokenHandOff{"version 1", "block revision, version and efiMode", [](auto& o) { Block(o, [](BootArgs& a) { a.version = 1; }); }},
        BrokenHandOff{"revision 1", "block revision, version and efiMode", [](auto& o) { Block(o, [](BootArgs& a) { a.revision = 1; }); }},
        BrokenHandOff{"efiMode 32", "block revision, version and efiMode", [](auto& o) { Block(o, [](BootArgs& a) { a.efiMode = 32; }); }},
        BrokenHandOff{"flag 0x1 missing", "block flags", [](auto& o) { Block(o, [](BootArgs& a) { a.flags = 0x30; }); }},
        BrokenHandOff{"flag 0x20 missing", "block flags", [](auto& o) { Block(o, [](BootArgs& a) { a.flags = 0x11; }); }},
        BrokenHandOff{"csr flag without the variable", "block flags", [](auto& o) { Block(o, [](BootArgs& a) { a.flags |= 0x8; }); }},
        BrokenHandOff{"csr value differs", "block flags", [](auto& o) {
          o.csr_active_config = true;
          o.csr_value = 0x40;
          o.command_line += " probe-expect-csr=0x67";
        }},
        BrokenHandOff{"csr variable without the flag", "block flags", [](auto& o) { o.command_line += " probe-expect-csr=0x67"; }},
        BrokenHandOff{"command line fills the field", "block command line",
                      [](auto& o) { Block(o, [](BootArgs& a) { std::memset(a.commandLine, 'a', sizeof(a.commandLine)); }); }},
        BrokenHandOff{"command line with a control byte", "block command line", [](auto& o) { Block(o, [](BootArgs& a) { a.commandLine[1] = '\n'; }); }},
        BrokenHandOff{"kernel region after the probe", "block kernelAddress and kernelSize",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.kernelAddress += 0x1000, a.kernelSize -= 0x1000; }); }},
        BrokenHandOff{"kernel region ends inside the probe", "block kernelAddress and kernelSize",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.kernelSize = 0x1000; }); }},
        BrokenHandOff{"device tree outside the kernel region", "block deviceTree and deviceTreeLength",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.deviceTree = a.kernelAddress + a.kernelSize; }); }},
        BrokenHandOff{"no device tree", "block deviceTree and deviceTreeLength", [](auto& o) { Block(o, [](BootArgs& a) { a.deviceTree = 0; }); }}));

INSTANTIATE_TEST_SUITE_P(
    MemoryMapAndTables, EachCheckCatchesItsFault,
    testing::Values(
        BrokenHandOff{"descriptor size of the structure's fields only", "memory map layout",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.memoryMapDescriptorSize = 36; }); }},
        BrokenHandOff{"descriptor version 2", "memory map layout", [](auto& o) { Block(o, [](BootArgs& a) { a.memoryMapDescriptorVersion = 2; }); }},
        BrokenHandOff{"map size not a multiple", "memory map layout", [](auto& o) { Block(o, [](BootArgs& a) { a.memoryMapSize -= 8; }); }},
        BrokenHandOff{"map outside the kernel region", "memory map layout",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.memoryMap = a.kernelAddress + a.kernelSize; }); }},
        BrokenHandOff{"entries out of order", "memory map sorted without overlaps",
                      [](auto& o) { Map(o, [](auto& m) { std::swap(m[0], m[1]); }); }},
        BrokenHandOff{"entries overlap", "memory map sorted without overlaps", [](auto& o) { Map(o, [](auto& m) { m[2].NumberOfPages += 1; }); }},
        BrokenHandOff{"probe pages typed conventional", "memory map: probe pages are loader data",
                      [](auto& o) { Map(o, [](auto& m) { m[2].Type = EfiConventionalMemory; }); }},
        BrokenHandOff{"probe pages not described", "memory map: probe pages are loader data",
                      [](auto& o) { Map(o, [](auto& m) { m.erase(m.begin() + 2); }); }},
        BrokenHandOff{"memory-map buffer typed boot-services data", "memory map: kernel region is loader data",
                      [](auto& o) { Map(o, [](auto& m) { m[5].Type = EfiBootServicesData; }); }},
        BrokenHandOff{"runtime area outside the kernel region", "memory map: kernel region is loader data",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.runtimePageCount = 0x1000; }); }},
        BrokenHandOff{"runtime data left at its virtual address of 0", "memory map: runtime entries in the runtime area",
                      [](auto& o) { Map(o, [](auto& m) { m[3].VirtualStart = 0; }); }},
        BrokenHandOff{"runtime data moved but not its physical place", "memory map: runtime entries in the runtime area",
                      [](auto& o) { Map(o, [](auto& m) { m[3].VirtualStart += 0x1000; }); }},
        BrokenHandOff{"MMIO given a kernel address past the runtime area", "memory map: runtime entries in the runtime area",
                      [](auto& o) { Map(o, [](auto& m) { m.back().VirtualStart += 0x5000; }); }},
        BrokenHandOff{"runtime virtual start off by a page", "memory map: runtime entries in the runtime area",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.runtimeVirtualPageStart += 1; }); }},
        BrokenHandOff{"system table changed after its CRC", "system table relocated with a valid CRC-32",
                      [](auto& o) {
                        o.edit_memory = [](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
                          m[Args(m, base, block).systemTable - base + 24] ^= 1;
                        };
                      }},
        BrokenHandOff{"system table pointer at the block", "system table relocated with a valid CRC-32",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.systemTable = a.kernelAddress; }); }},
        BrokenHandOff{"system table left outside the runtime area", "system table relocated with a valid CRC-32",
                      [](auto& o) {
                        o.edit_memory = [](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
                          BootArgs& a = Args(m, base, block);
                          std::memcpy(&m[a.deviceTree - base - 0x400], &m[a.systemTable - base], 120);
                          a.systemTable = a.deviceTree - 0x400;
                        };
                      }},
        BrokenHandOff{"kernelSlide that the kernel was not slid by", "kernel slid by kernelSlide",
                      [](auto& o) { Block(o, [](BootArgs& a) { a.kernelSlide = 0x200000; }); }}));

INSTANTIATE_TEST_SUITE_P(
    DeviceTree, EachCheckCatchesItsFault,
    testing::Values(
        BrokenHandOff{"length longer than the tree", "device tree well-formed", [](auto& o) { Block(o, [](BootArgs& a) { a.deviceTreeLength += 4; }); }},
        BrokenHandOff{"length shorter than the tree", "device tree well-formed", [](auto& o) { Block(o, [](BootArgs& a) { a.deviceTreeLength -= 4; }); }},
        BrokenHandOff{"root claims one more child", "device tree well-formed", [](auto& o) { TreeBytes(o, [](uint8_t* t) { t[4] += 1; }); }},
        BrokenHandOff{"root claims many more properties", "device tree well-formed", [](auto& o) { TreeBytes(o, [](uint8_t* t) { t[3] = 0x7F; }); }},
        BrokenHandOff{"property name without its NUL", "device tree well-formed",
                      [](auto& o) { TreeBytes(o, [](uint8_t* t) { std::memset(t + 8, 'n', 32); }); }},
        BrokenHandOff{"value length past the end", "device tree well-formed",
                      [](auto& o) { TreeBytes(o, [](uint8_t* t) { t[8 + 32 + 3] = 0x10; }); }},
        BrokenHandOff{"root compatible missing", "device tree: root compatible", [](auto& o) { Hide(o, "/", "compatible"); }},
        BrokenHandOff{"root model not ACPI", "device tree: root model", [](auto& o) { Before(o, [] { AddText("/", "model", "Board1,1"); }); }},
        BrokenHandOff{"boot-file missing", "/chosen boot-file", [](auto& o) { Hide(o, "/chosen", "boot-file"); }},
        BrokenHandOff{"boot-file without its NUL", "/chosen boot-file", [](auto& o) { Before(o, [] { AddBytes("/chosen", "boot-file", {'k', 'c'}); }); }},
        BrokenHandOff{"boot-args differ from the block", "/chosen boot-args", [](auto& o) { Before(o, [] { AddText("/chosen", "boot-args", "-v"); }); }},
        BrokenHandOff{"boot-device-path without an end node", "/chosen boot-device-path",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "boot-device-path", {2, 1, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0}); }); }},
        BrokenHandOff{"boot-device-path node longer than the value", "/chosen boot-device-path",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "boot-device-path", {2, 1, 40, 0, 0x7F, 0xFF, 4, 0}); }); }},
        BrokenHandOff{"boot-file-path without a file node", "/chosen boot-file-path",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "boot-file-path", {0x7F, 0xFF, 4, 0}); }); }},
        BrokenHandOff{"Adler-32 of another container", "/chosen boot-kernelcache-adler32",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "boot-kernelcache-adler32", {1, 2, 3, 4}); }); }},
        BrokenHandOff{"Adler-32 of 2 bytes", "/chosen boot-kernelcache-adler32",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "boot-kernelcache-adler32", {0xCD, 0xAB}); }); }},
        BrokenHandOff{"random-seed of 32 bytes", "/chosen random-seed",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "random-seed", std::vector<uint8_t>(32, 7)); }); }},
        BrokenHandOff{"random-seed all zero", "/chosen random-seed",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen", "random-seed", std::vector<uint8_t>(64, 0)); }); }},
        BrokenHandOff{"booter-name of another booter", "/chosen booter-name", [](auto& o) { Before(o, [] { AddText("/chosen", "booter-name", "other.efi"); }); }},
        BrokenHandOff{"booter-version of two parts", "/chosen booter-version", [](auto& o) { Before(o, [] { AddText("/chosen", "booter-version", "version:1.0"); }); }},
        BrokenHandOff{"booter-version without its prefix", "/chosen booter-version", [](auto& o) { Before(o, [] { AddText("/chosen", "booter-version", "1.0.0"); }); }},
        BrokenHandOff{"booter-build-time missing", "/chosen booter-build-time", [](auto& o) { Hide(o, "/chosen", "booter-build-time"); }},
        BrokenHandOff{"machine-signature missing", "/chosen machine-signature", [](auto& o) { Hide(o, "/chosen", "machine-signature"); }},
        BrokenHandOff{"memory-map entry outside the kernel region", "/chosen/memory-map",
                      [](auto& o) { Before(o, [] { AddBytes("/chosen/memory-map", "RAMDisk", {0, 0, 0, 1, 0, 0x10, 0, 0}); }); }},
        BrokenHandOff{"boot-uuid of another volume", "/chosen root device",
                      [](auto& o) { Before(o, [] { AddText("/chosen", "boot-uuid", "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F1"); }); }},
        BrokenHandOff{"no root device at all", "/chosen root device", [](auto& o) {
          o.publish_boot_uuid = false;
          o.command_line = "probe-expect-adler=0x1234abcd";
        }},
        BrokenHandOff{"firmware-vendor without its NUL", "/efi firmware-vendor",
                      [](auto& o) { Before(o, [] { AddBytes("/efi", "firmware-vendor", {'O', 0, 'V', 0}); }); }},
        BrokenHandOff{"firmware-revision missing", "/efi firmware-revision", [](auto& o) { Hide(o, "/efi", "firmware-revision"); }},
        BrokenHandOff{"firmware-abi EFI32", "/efi firmware-abi", [](auto& o) { Before(o, [] { AddText("/efi", "firmware-abi", "EFI32"); }); }},
        BrokenHandOff{"ACPI 2.0 table without its alias", "/efi/configuration-table", [](auto& o) { Hide(o, kAcpi20Child, "alias"); }},
        BrokenHandOff{"ACPI 2.0 table with the 1.0 alias", "/efi/configuration-table",
                      [](auto& o) { Before(o, [] { AddBytes(kAcpi20Child, "alias", {'A', 'C', 'P', 'I', 0}); }); }},
        BrokenHandOff{"configuration table without its guid", "/efi/configuration-table", [](auto& o) { Hide(o, kAcpi20Child, "guid"); }},
        BrokenHandOff{"runtime-services table missing", "/efi/runtime-services table", [](auto& o) { Hide(o, "/efi/runtime-services", "table"); }},
        BrokenHandOff{"kernel-compatibility 0", "/efi/kernel-compatibility x86_64",
                      [](auto& o) { Before(o, [] { AddBytes("/efi/kernel-compatibility", "x86_64", {0, 0, 0, 0}); }); }}));

TEST_F(HandoffChecks, ProcessorStateAsTheGateLeavesIt) {
  struct Case {
    const char* what;
    std::function<void(probe_processor&)> change;
  } cases[] = {
      {"paging on", [](probe_processor& p) { p.cr0 |= 0x80000000u; }},
      {"real mode", [](probe_processor& p) { p.cr0 &= ~1u; }},
      {"code selector 0x18", [](probe_processor& p) { p.cs = 0x18; }},
      {"data selector 0x18", [](probe_processor& p) { p.ds = 0x18; }},
      {"GS left at 0", [](probe_processor& p) { p.gs = 0; }},
      {"interrupts on", [](probe_processor& p) { p.eflags |= 0x200; }},
      {"long mode still enabled", [](probe_processor& p) { p.efer |= 0x100; }},
  };
  probe_processor sound = GateProcessor();
  probe_check_processor(&sound);
  EXPECT_EQ(probe_host::Failures(), "");
  for (const Case& c : cases) {
    probe_host::ResetReport();
    probe_processor p = GateProcessor();
    c.change(p);
    probe_check_processor(&p);
    EXPECT_EQ(probe_report_failures(), 1u) << c.what;
  }
}

// The loader's call gate always passes a block; an entry with EAX 0 is a failed hand-off,
// and only a multiboot run that asked for it checks the placement alone.
TEST_F(HandoffChecks, EntryWithoutABlockFails) {
  probe_context context = {};
  EXPECT_FALSE(probe_check_entry(&context));
  EXPECT_EQ(probe_host::Failures(), "boot arguments handed over: entered without a block (EAX 0)");

  probe_host::ResetReport();
  context.placement_only = 1;
  EXPECT_FALSE(probe_check_entry(&context));
  EXPECT_EQ(probe_host::Failures(), "");
  EXPECT_EQ(probe_host::Results().size(), 0u);

  probe_host::ResetReport();
  context.boot_arguments = 0x1000;
  EXPECT_TRUE(probe_check_entry(&context));
  EXPECT_EQ(probe_host::Failures(), "");
}

// "probe-secrets" names byte strings the loader must have wiped: found anywhere in loader
// code or data outside the key store (here: a copy left in the boot-arguments block's tail)
// they fail the check.
TEST_F(HandoffChecks, SecretLeftInLoaderMemory) {
  const uint8_t unlock_key[16] = {0x3A, 0x91, 0x5C, 0x07, 0xE2, 0x48, 0xB6, 0x1D,
                                  0x7F, 0xC0, 0x25, 0x99, 0x64, 0xAB, 0x0E, 0xD3};
  HandoffOptions options;
  options.command_line += " probe-secrets=3A915C07E248B61D7FC0259964AB0ED3,5566778899AABBCCDD";
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "");
  EXPECT_NE(probe_host::Output().find("probe: ok no key bytes in loader memory: 2 secrets absent"),
            std::string::npos) << probe_host::Output();

  probe_host::ResetReport();
  options.edit_memory = [&](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
    std::memcpy(&m[block - base + 3000], unlock_key, sizeof(unlock_key));  // the block's unused tail
  };
  Run(options);
  EXPECT_TRUE(probe_host::Failed("no key bytes in loader memory")) << probe_host::Output();
  EXPECT_NE(probe_host::Failures().find("secret 1 at"), std::string::npos) << probe_host::Failures();

  probe_host::ResetReport();
  options.edit_memory = nullptr;
  options.command_line = HandoffOptions{}.command_line + " probe-secrets=3A9";
  Run(options);
  EXPECT_TRUE(probe_host::Failed("no key bytes in loader memory")) << probe_host::Output();
}

TEST_F(HandoffChecks, NoBlockAtAll) {
  probe_context context = {};
  context.boot_arguments = 0x1000;  // nothing mapped there
  probe_check_handoff(&context);
  EXPECT_EQ(probe_host::Failures(), "boot arguments readable: no block at the address in EAX");
}

namespace {

// A key-store block of one KEK record, written into the stand-in kernel image's unused end.
constexpr uint32_t kKeyStoreOffset = 0x3000;
const char kKekUuid[] = "a1a1a1a100004000800000000000000a";
const std::vector<uint8_t> kKek = {0x2e, 0xc1, 0x75, 0x5a, 0xea, 0xe3, 0x1e, 0x45,
                                   0x4e, 0xdc, 0x97, 0xf6, 0xaf, 0xcc, 0x8a, 0x58};

void PlaceKeyStore(std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
  uint8_t* r = &m[kKeyStoreOffset];
  std::memset(r, 0, 64);
  r[4] = 1;  // kind
  r[8] = 2;  // sub-kind
  for (int i = 0; i < 16; ++i) r[12 + i] = static_cast<uint8_t>(std::stoi(std::string(kKekUuid + 2 * i, 2), nullptr, 16));
  r[44] = 16;
  std::memcpy(r + 48, kKek.data(), 16);
  Args(m, base, block).keyStoreDataStart = base + kKeyStoreOffset;
  Args(m, base, block).keyStoreDataSize = 64;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char buf[3];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof(buf), "%02x", b);
    s += buf;
  }
  return s;
}

}  // namespace

TEST_F(HandoffChecks, KeyStoreUnlockIdentAndSecrets) {
  const std::vector<uint8_t> volume_key(16, 0x5D);
  HandoffOptions options;
  options.command_line += std::string(" probe-expect-keystore=1.2.") + kKekUuid + "." + Hex(kKek) +
                          " probe-expect-unlock-ident=USER-1 probe-secrets=" + Hex(volume_key) + "," + Hex(kKek);
  options.before_properties = [] { AddBytes("/chosen", "efilogin-unlock-ident", {'U', 'S', 'E', 'R', '-', '1', 0}); };
  options.edit_memory = PlaceKeyStore;
  Run(options);
  EXPECT_EQ(probe_host::Failures(), "") << probe_host::Output();
  EXPECT_FALSE(probe_host::Failed("no key bytes in loader memory"));

  struct Case {
    const char* what;
    const char* check;
    std::function<void(HandoffOptions&)> damage;
  } cases[] = {
      {"a payload byte", "key store",
       [](HandoffOptions& o) {
         o.edit_memory = [](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
           PlaceKeyStore(m, base, block);
           m[kKeyStoreOffset + 50] ^= 1;
         };
       }},
      {"no block", "key store", [](HandoffOptions& o) { o.edit_memory = nullptr; }},
      {"a second record", "key store",
       [](HandoffOptions& o) {
         o.edit_memory = [](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
           PlaceKeyStore(m, base, block);
           m[kKeyStoreOffset] = 64;
         };
       }},
      {"no ident", "/chosen efilogin-unlock-ident", [](HandoffOptions& o) { o.before_properties = nullptr; }},
      {"the volume key left in memory", "no key bytes in loader memory",
       [&](HandoffOptions& o) {
         o.edit_memory = [&](std::vector<uint8_t>& m, uint32_t base, uint32_t block) {
           PlaceKeyStore(m, base, block);
           std::memcpy(&m[block - base + 3000], volume_key.data(), 16);  // the block's unused tail
         };
       }},
  };
  for (const Case& c : cases) {
    probe_host::ResetReport();
    HandoffOptions broken = options;
    c.damage(broken);
    Run(broken);
    EXPECT_TRUE(probe_host::Failed(c.check)) << c.what << "\n" << probe_host::Output();
  }
  // An unencrypted boot: neither a block nor an ident is wanted, and none is there.
  probe_host::ResetReport();
  Run(HandoffOptions{});
  EXPECT_FALSE(probe_host::Failed("key store"));
  EXPECT_FALSE(probe_host::Failed("/chosen efilogin-unlock-ident"));
}
