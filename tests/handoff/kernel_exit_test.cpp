#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "output/error_report.h"
#include "flags/guids.h"
#include "diag/perf_record.h"
#include "crypto/crc32.h"
#include "devicetree/device_tree.h"
#include "devicetree/device_tree_kernel.h"
#include "handoff/boot_args.h"
#include "handoff/kernel_exit.h"
#include "memory/memory.h"
#include "memory/memory_map.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tools/lib/device_tree_decode.h"

namespace {

constexpr UINT64 kKernelBase = 0xFFFFFF8002000000ull;
constexpr UINT64 kRuntimeData = 0x30000000;

// The kernel image and the block, as the stages before the exit leave them.
BootArgs* PrepareKernelRegion() {
  UINT64 size = 0x10000, address = kKernelBase;
  KernelMemoryAllocate(&size, &address);
  UINT64 block_size = sizeof(BootArgs), block_at = 0;
  auto* args = reinterpret_cast<BootArgs*>(KernelMemoryAllocate(&block_size, &block_at));
  std::memset(args, 0, sizeof(*args));
  return args;
}

std::vector<EFI_MEMORY_DESCRIPTOR> Descriptors(const BootArgs& args) {
  std::vector<EFI_MEMORY_DESCRIPTOR> out;
  for (UINT32 at = 0; at < args.memoryMapSize; at += args.memoryMapDescriptorSize) {
    out.push_back(*reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(static_cast<UINTN>(args.memoryMap) + at));
  }
  return out;
}

}  // namespace

TEST(KernelExit, RuntimeDataMovesIntoTheRuntimeAreaAfterAChangedMap) {
  TestFirmware fw;
  EFI_PHYSICAL_ADDRESS runtime = kRuntimeData;
  ASSERT_EQ(gBS->AllocatePages(AllocateAddress, EfiRuntimeServicesData, 2, &runtime), EFI_SUCCESS);
  std::memset(reinterpret_cast<void*>(runtime), 0x5C, 2 * 4096);
  BootArgs* args = PrepareKernelRegion();
  UINTN virtual_map_entries = 0;
  fw.set_virtual_address_map = [&](UINTN size, UINTN descriptor_size, UINT32, EFI_MEMORY_DESCRIPTOR*) {
    virtual_map_entries = size / descriptor_size;
    return EFI_SUCCESS;
  };
  // The runtime census fetches the map once before the exit passes: the second fetch is
  // the first pass, whose key the firmware then refuses.
  fw.ChangeMemoryMapTimes(2);
  auto result = fw.Run([&] {
    return ExitToKernel(args, 0);
  });
  ASSERT_EQ(result.how, TestFirmware::RunResult::How::kReturned) << fw.ConsoleText();
  EXPECT_TRUE(fw.BootServicesExited());
  EXPECT_GT(virtual_map_entries, 0u);

  std::vector<EFI_MEMORY_DESCRIPTOR> map = Descriptors(*args);
  for (size_t i = 1; i < map.size(); ++i) EXPECT_LE(map[i - 1].PhysicalStart, map[i].PhysicalStart);
  const EFI_MEMORY_DESCRIPTOR* moved = nullptr;
  for (auto& d : map) {
    if (d.Type == EfiRuntimeServicesData) moved = &d;
  }
  ASSERT_NE(moved, nullptr);
  UINT64 area_start = UINT64(args->runtimePageStart) * 4096;
  EXPECT_EQ(moved->PhysicalStart, KernelToPhysical(moved->VirtualStart));
  EXPECT_GE(moved->PhysicalStart, area_start);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(moved->PhysicalStart)[100], 0x5C);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(kRuntimeData)[100], 0) << "the old place is zeroed";
  EXPECT_EQ(args->runtimeVirtualPageStart * 4096, KernelToPhysical(args->runtimeVirtualPageStart * 4096) | 0xFFFFFF8000000000ull);
  EXPECT_EQ(args->kernelAddress, 0x2000000u);
  EXPECT_EQ(args->systemTable, static_cast<UINT32>(reinterpret_cast<UINTN>(fw.SystemTable())));
}

TEST(KernelExit, FiveChangedMapsInARowEndTheBoot) {
  TestFirmware fw;
  BootArgs* args = PrepareKernelRegion();
  fw.ChangeMemoryMapTimes(1 + 5);  // the census, then every one of the five passes
  auto result = fw.Run([&] {
    return ExitToKernel(args, 0);
  });
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(result.status, kStatusBootEnding);
  EXPECT_NE(fw.ConsoleText().find("Error exiting boot services\r\n"), std::string::npos);
  EXPECT_FALSE(fw.BootServicesExited());
}

TEST(KernelExit, WithoutRuntimeRegionsTheSystemTableIsResealed) {
  TestFirmware fw;
  BootArgs* args = PrepareKernelRegion();
  auto result = fw.Run([&] {
    return ExitToKernel(args, 0);
  });
  ASSERT_EQ(result.how, TestFirmware::RunResult::How::kReturned);
  EFI_SYSTEM_TABLE* st = fw.SystemTable();
  EXPECT_EQ(st->RuntimeServices, nullptr);
  UINT32 stored = st->Hdr.CRC32;
  st->Hdr.CRC32 = 0;
  EXPECT_EQ(Crc32(0, st, st->Hdr.HeaderSize), stored);
}

TEST(KernelExit, AcpiReservedAreaCarving) {
  constexpr UINTN kStride = 48;
  struct Case {
    const char* what;
    UINT64 start, pages, address;
    std::vector<std::pair<UINT32, std::pair<UINT64, UINT64>>> expected;  // type, (start, pages)
  } cases[] = {
      {"near the start", 0x100000, 64, 0x101000, {{10, {0x100000, 5}}, {7, {0x105000, 59}}}},
      {"near the end", 0x100000, 64, 0x13A000, {{7, {0x100000, 58}}, {10, {0x13A000, 6}}}},
      {"in the middle", 0x100000, 64, 0x120800, {{7, {0x100000, 32}}, {10, {0x120000, 5}}, {7, {0x125000, 27}}}},
  };
  for (auto& c : cases) {
    std::vector<uint8_t> bytes(6 * kStride, 0);
    EFI_MEMORY_DESCRIPTOR d{EfiConventionalMemory, 0, c.start, 0, c.pages, 0xF};
    std::memcpy(bytes.data(), &d, sizeof(d));
    auto* map = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(bytes.data());
    EFI_MEMORY_DESCRIPTOR* end = NextDescriptor(map, kStride);
    CarveAcpiReservedArea(map, &end, kStride, c.address);
    MemoryMapSort(map, end, kStride);
    size_t count = static_cast<size_t>(reinterpret_cast<uint8_t*>(end) - bytes.data()) / kStride;
    ASSERT_EQ(count, c.expected.size()) << c.what;
    for (size_t i = 0; i < count; ++i) {
      auto* got = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(bytes.data() + i * kStride);
      EXPECT_EQ(got->Type, c.expected[i].first) << c.what << " #" << i;
      EXPECT_EQ(got->PhysicalStart, c.expected[i].second.first) << c.what << " #" << i;
      EXPECT_EQ(got->NumberOfPages, c.expected[i].second.second) << c.what << " #" << i;
    }
  }
}

TEST(KernelExit, PerformanceRecordGoesToTheBlockBeforeTheExit) {
  for (bool requested : {false, true}) {
    TestFirmware fw;
    if (requested) fw.SetVariable(u"hearth-perf-record", TarnBootGuid, 7, std::vector<uint8_t>{1});
    (void)PerfRecordStart(0, 0);
    PerfRecordMark("Start");
    BootArgs* args = PrepareKernelRegion();
    auto result = fw.Run([&] {
      return ExitToKernel(args, 0);
    });
    ASSERT_EQ(result.how, TestFirmware::RunResult::How::kReturned) << fw.ConsoleText();
    EFI_PHYSICAL_ADDRESS address = 0;
    UINT32 capacity = 0;
    if (!requested) {
      EXPECT_EQ(args->performanceDataStart, 0u);
      EXPECT_EQ(args->performanceDataSize, 0u);
      continue;
    }
    ASSERT_EQ(PerfRecordLocation(&address, &capacity), EFI_SUCCESS);
    EXPECT_EQ(args->performanceDataStart, address);
    EXPECT_EQ(args->performanceDataSize, capacity);
    EXPECT_EQ(LoadLe64(reinterpret_cast<void*>(address)), kPerfRecordMagic);
    auto published = fw.GetVariable(u"hearth-perf-record-data", TarnBootGuid);
    EXPECT_TRUE(published.has_value()) << "published before boot services ended";
  }
}

TEST(DeviceTreeFlattenToKernel, FlattensAtTheTopOfTheRegion) {
  TestFirmware fw;
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  DeviceTreeAddProperty(DeviceTreeFindNode("/chosen", true), "boot-args", 4, "-v\0", false);
  UINT64 address = 0;
  UINT32 length = 0;
  EXPECT_EQ(DeviceTreeFlattenToKernel(&address, &length), EFI_OUT_OF_RESOURCES) << "no kernel region yet";
  PrepareKernelRegion();
  UINT64 low = 0, high = 0;
  KernelRegionBounds(&low, &high);
  ASSERT_EQ(DeviceTreeFlattenToKernel(&address, &length), EFI_SUCCESS);
  EXPECT_EQ(address, high);
  DecodedDeviceTreeNode root;
  std::string error;
  ASSERT_TRUE(DecodeDeviceTree(reinterpret_cast<const uint8_t*>(address), length, &root, &error)) << error;
  ASSERT_EQ(root.children.size(), 1u);
  EXPECT_EQ(root.children[0].Find("boot-args")->value, (std::vector<uint8_t>{'-', 'v', 0, 0}));
  DeviceTreeFree();
}
