#include "tests/probe/handoff_machine.h"

#include <gtest/gtest.h>

#include <cstring>

#include "efi/efi.h"
#include "crypto/crc32.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "devicetree/memory_map_entries.h"
#include "handoff/platform_facts.h"
#include "probe/probe_tree.h"

namespace probe_test {
namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint64_t kKernelVirtual = 0xFFFFFF8000000000ull;  // kernel address of physical 0
constexpr uint64_t kMemoryRuntime = 0x8000000000000000ull;
constexpr uint64_t kMemoryWriteBack = 0x8;

uint32_t RoundPage(uint64_t n) { return uint32_t((n + kPage - 1) & ~uint64_t(kPage - 1)); }

// Where each piece lands, as offsets from the base.
struct Layout {
  uint32_t block, tree, tree_size, runtime, map, kernel_end, perf, total;
};

void AddText(DeviceTreeNode* node, const char* name, const char* text) {
  DeviceTreeAddProperty(node, name, uint32_t(std::strlen(text) + 1), text, true);
}

std::vector<uint8_t> BootDevicePath() {
  std::vector<uint8_t> path = {2, 1, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0};  // PciRoot(0)
  std::vector<uint8_t> disk(42, 0);                                                  // HD(1,GPT,...)
  disk[0] = 4, disk[1] = 1, disk[2] = 42, disk[4] = 1, disk[40] = 2, disk[41] = 2;
  path.insert(path.end(), disk.begin(), disk.end());
  path.insert(path.end(), {0x7F, 0xFF, 4, 0});
  return path;
}

std::vector<uint8_t> BooterFilePath() {
  std::u16string name = u"\\System\\Library\\CoreServices\\hearth.efi";
  uint16_t length = uint16_t(4 + 2 * (name.size() + 1));
  std::vector<uint8_t> path = {4, 4, uint8_t(length), uint8_t(length >> 8)};
  for (char16_t c : name) path.insert(path.end(), {uint8_t(c), uint8_t(c >> 8)});
  path.insert(path.end(), {0, 0, 0x7F, 0xFF, 4, 0});
  return path;
}

// The failed-boot sign, placed in the spare half of the memory-map page: a 4 x 4 sign of
// two colours whose "compressed" plane is three bytes.
constexpr uint32_t kSignOffsetInMapPage = 2048;
constexpr uint32_t kSignClutSize = 6;
constexpr uint32_t kSignImageAt = 64;
constexpr uint32_t kSignImageSize = 32 + 16;

void WriteFailedSign(uint8_t* at) {
  const uint8_t clut[kSignClutSize] = {0xBF, 0xBF, 0xBF, 0x30, 0x30, 0x30};
  std::memcpy(at, clut, sizeof(clut));
  const uint32_t header[4] = {4, 4, 0, 3};
  std::memcpy(at + kSignImageAt, header, sizeof(header));
  const uint8_t plane[3] = {0xFF, 0x00, 0x01};
  std::memcpy(at + kSignImageAt + 32, plane, sizeof(plane));
}

void BuildTree(const HandoffOptions& options, uint32_t base, uint32_t image_size, uint32_t sign_at) {
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  DeviceTreeNode* root = DeviceTreeRoot();
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  ASSERT_NE(DeviceTreeFindNode("/chosen/memory-map", true), nullptr);
  if (options.before_properties) options.before_properties();
  AddText(root, "compatible", "ACPI");
  AddText(root, "model", "ACPI");
  if (options.publish_boot_uuid) AddText(chosen, "boot-uuid", kBootUuid);
  AddText(chosen, "boot-file", "System\\Library\\PrelinkedKernels\\prelinkedkernel");
  std::vector<uint8_t> device_path = BootDevicePath(), file_path = BooterFilePath();
  DeviceTreeAddProperty(chosen, "boot-device-path", uint32_t(device_path.size()), device_path.data(), true);
  DeviceTreeAddProperty(chosen, "boot-file-path", uint32_t(file_path.size()), file_path.data(), true);
  uint32_t adler = kExpectedAdler;
  DeviceTreeAddProperty(chosen, "boot-kernelcache-adler32", 4, &adler, true);
  AddText(chosen, "boot-args", options.command_line.c_str());
  uint8_t seed[64];
  for (int i = 0; i < 64; ++i) seed[i] = uint8_t(i * 37 + 11);
  DeviceTreeAddProperty(chosen, "random-seed", sizeof(seed), seed, true);
  AddText(chosen, "booter-name", "hearth.efi");
  AddText(chosen, "booter-version", "version:1.0.0");
  AddText(chosen, "booter-build-time", "Tue Dec  9 12:34:56 UTC 2025");
  uint32_t signature = 0x5A5A1234;
  DeviceTreeAddProperty(chosen, "machine-signature", 4, &signature, true);
  ASSERT_EQ(DeviceTreeAddMemoryMapEntry("Kernel-__TEXT", base, image_size), EFI_SUCCESS);
  ASSERT_EQ(DeviceTreeAddMemoryMapEntry("FailedCLUT", sign_at, kSignClutSize), EFI_SUCCESS);
  ASSERT_EQ(DeviceTreeAddMemoryMapEntry("FailedImage", sign_at + kSignImageAt, kSignImageSize), EFI_SUCCESS);
  ASSERT_EQ(PublishEfiProperties(), EFI_SUCCESS);
}

std::vector<uint8_t> FlattenTree(const HandoffOptions& options) {
  void* flat = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(DeviceTreeFlatten(&flat, &size), EFI_SUCCESS);
  std::vector<uint8_t> bytes(static_cast<uint8_t*>(flat), static_cast<uint8_t*>(flat) + size);
  PoolFree(flat);
  DeviceTreeFree();
  probe_tree tree = {bytes.data(), uint32_t(bytes.size())};
  for (const auto& [path, name] : options.hidden) {
    uint32_t node;
    tree_property property;
    bool found = tree_find_path(&tree, path.c_str(), &node) && tree_find_property(&tree, node, name.c_str(), &property);
    EXPECT_TRUE(found) << path << " " << name;
    if (found) bytes[reinterpret_cast<const uint8_t*>(property.name) - bytes.data()] = 'X';
  }
  return bytes;
}

Layout PlaceAll(uint32_t image_size, uint32_t tree_size) {
  Layout at;
  at.block = RoundPage(image_size);
  at.tree = at.block + kPage;
  at.tree_size = tree_size;
  at.runtime = at.tree + RoundPage(tree_size);
  at.map = at.runtime + kRuntimePages * kPage;
  at.kernel_end = at.map + kPage;
  at.perf = at.kernel_end;
  at.total = at.perf + kPage;
  return at;
}

EFI_MEMORY_DESCRIPTOR Descriptor(uint32_t type, uint64_t start, uint64_t bytes, uint64_t attribute = kMemoryWriteBack,
                                 uint64_t virtual_start = 0) {
  EFI_MEMORY_DESCRIPTOR d = {};
  d.Type = type;
  d.PhysicalStart = start;
  d.VirtualStart = virtual_start;
  d.NumberOfPages = bytes / kPage;
  d.Attribute = attribute;
  return d;
}

std::vector<EFI_MEMORY_DESCRIPTOR> MemoryMap(uint32_t base, const Layout& at) {
  uint64_t runtime = base + at.runtime;
  uint64_t runtime_virtual = kKernelVirtual + runtime;
  return {
      Descriptor(EfiConventionalMemory, 0x1000, 0x9E000),
      Descriptor(EfiConventionalMemory, 0x100000, base - 0x100000),
      Descriptor(EfiLoaderData, base, at.runtime),
      Descriptor(EfiRuntimeServicesData, runtime, 2 * kPage, kMemoryRuntime | kMemoryWriteBack, runtime_virtual),
      Descriptor(EfiRuntimeServicesCode, runtime + 2 * kPage, kPage, kMemoryRuntime | kMemoryWriteBack,
                 runtime_virtual + 2 * kPage),
      Descriptor(EfiLoaderData, runtime + 3 * kPage, at.kernel_end - at.runtime - 3 * kPage),
      Descriptor(EfiACPIReclaimMemory, base + at.perf, kPage),
      Descriptor(EfiConventionalMemory, base + at.total, 0x1000000),
      // Flash: runtime MMIO, given a kernel address in the runtime area but left in place.
      Descriptor(EfiMemoryMappedIO, 0xFFC00000, 4 * kPage, kMemoryRuntime | 1, runtime_virtual + 3 * kPage),
  };
}

void WriteSystemTable(uint8_t* at) {
  EFI_SYSTEM_TABLE table = *gST;
  table.Hdr.CRC32 = 0;
  table.Hdr.CRC32 = Crc32(0, &table, table.Hdr.HeaderSize);
  std::memcpy(at, &table, sizeof(table));
}

void WritePerfRecord(uint8_t* at) {
  const char* marks[] = {"Start InitBootStruct", "End InitBootStruct"};
  uint32_t used = 64;
  std::memcpy(at, "hearthpf", 8);
  for (const char* mark : marks) {
    uint32_t field = uint32_t((std::strlen(mark) + 1 + 7) & ~size_t(7));
    uint32_t kind = 1;
    std::memcpy(at + used, &kind, 4);
    std::memcpy(at + used + 4, &field, 4);
    std::memcpy(at + used + 24, mark, std::strlen(mark));
    used += 24 + field;
  }
  uint32_t entries = 2;
  std::memcpy(at + 8, &entries, 4);
  std::memcpy(at + 12, &used, 4);
}

BootArgs Block(const HandoffOptions& options, uint32_t base, const Layout& at, uint32_t map_size) {
  BootArgs args = {};
  args.version = 2;
  args.efiMode = 64;
  args.flags = kBootArgsFlagInitial | kBootArgsFlagAlways;
  if (options.csr_active_config) {
    args.flags |= kBootArgsFlagCsrActiveConfig;
    args.csrActiveConfig = options.csr_value;
  }
  std::strncpy(args.commandLine, options.command_line.c_str(), sizeof(args.commandLine) - 1);
  args.memoryMap = base + at.map;
  args.memoryMapSize = map_size;
  args.memoryMapDescriptorSize = kDescriptorSize;
  args.memoryMapDescriptorVersion = 1;
  args.deviceTree = base + at.tree;
  args.deviceTreeLength = at.tree_size;
  args.kernelAddress = base;
  args.kernelSize = at.kernel_end;
  args.runtimePageStart = (base + at.runtime) / kPage;
  args.runtimePageCount = kRuntimePages;
  args.runtimeVirtualPageStart = (kKernelVirtual + base + at.runtime) / kPage;
  args.systemTable = base + at.runtime;
  args.kernelSlide = options.slide;
  args.video = BootVideo{0x80000000, 2, 1024 * 4, 1024, 768, 32};  // a text console on a 1024x768 screen
  if (options.performance_record) {
    args.performanceDataStart = base + at.perf;
    args.performanceDataSize = kPage;
  }
  return args;
}

}  // namespace

HandoffMachine BuildHandoffMachine(const std::vector<uint8_t>& image, uint32_t base, const HandoffOptions& options) {
  HandoffMachine machine;
  machine.base = base;
  machine.image_size = image.empty() ? kStandInImageSize : uint32_t(image.size());
  // The tree's size fixes the layout, and the layout the sign's address: build it twice (the
  // second tree has the same size, only the addresses differ).
  BuildTree(options, base, machine.image_size, 0);
  std::vector<uint8_t> tree = FlattenTree(options);
  Layout at = PlaceAll(machine.image_size, uint32_t(tree.size()));
  BuildTree(options, base, machine.image_size, base + at.map + kSignOffsetInMapPage);
  tree = FlattenTree(options);
  machine.bytes.assign(at.total, 0);
  std::copy(image.begin(), image.end(), machine.bytes.begin());
  std::copy(tree.begin(), tree.end(), machine.bytes.begin() + at.tree);
  WriteSystemTable(&machine.bytes[at.runtime]);
  WriteFailedSign(&machine.bytes[at.map + kSignOffsetInMapPage]);
  if (options.performance_record) WritePerfRecord(&machine.bytes[at.perf]);

  std::vector<EFI_MEMORY_DESCRIPTOR> map = MemoryMap(base, at);
  if (options.edit_map) options.edit_map(map);
  EXPECT_LE(map.size() * kDescriptorSize, kPage);
  for (size_t i = 0; i < map.size(); ++i) {
    std::memcpy(&machine.bytes[at.map + i * kDescriptorSize], &map[i], sizeof(EFI_MEMORY_DESCRIPTOR));
  }
  BootArgs args = Block(options, base, at, uint32_t(map.size() * kDescriptorSize));
  if (options.edit_block) options.edit_block(args);
  std::memcpy(&machine.bytes[at.block], &args, sizeof(args));
  machine.block = base + at.block;
  if (options.edit_memory) options.edit_memory(machine.bytes, base, machine.block);
  return machine;
}

probe_context ContextFor(const HandoffMachine& machine, uint32_t slide) {
  probe_context context = {};
  context.boot_arguments = machine.block;
  context.own_header = machine.base;
  context.own_end = machine.base + machine.image_size - 0x800;
  context.header_pointer = PROBE_KERNEL_BASE + slide;
  context.cpu_signature = 0x000806C1;  // family 6, model 0x8C
  context.processor = GateProcessor();
  return context;
}

probe_processor GateProcessor() {
  probe_processor p = {};
  p.cr0 = 0x00000011;  // protected mode, no paging
  p.eflags = 0x00000002;
  p.efer = 0x0;
  p.cs = 0x08;
  p.ds = p.es = p.fs = p.gs = 0x10;
  p.ss = 0x30;
  return p;
}

}  // namespace probe_test
