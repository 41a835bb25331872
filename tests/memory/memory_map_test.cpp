#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "output/error_report.h"
#include "memory/memory.h"
#include "memory/memory_map.h"
#include "testfw/test_firmware.h"

namespace {

// A map with a stride larger than the structure, as firmware hands out.
struct Map {
  static constexpr UINTN kStride = 48;
  std::vector<uint8_t> bytes;
  explicit Map(std::initializer_list<EFI_MEMORY_DESCRIPTOR> list, UINTN room = 4) {
    bytes.resize((list.size() + room) * kStride, 0xEE);
    UINTN i = 0;
    for (auto& d : list) std::memcpy(&bytes[i++ * kStride], &d, sizeof(d));
    used = list.size();
  }
  EFI_MEMORY_DESCRIPTOR* At(UINTN i) { return reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(&bytes[i * kStride]); }
  EFI_MEMORY_DESCRIPTOR* Begin() { return At(0); }
  EFI_MEMORY_DESCRIPTOR* End() { return At(used); }
  UINTN used;
};

constexpr UINT64 kRt = EFI_MEMORY_RUNTIME;

}  // namespace

TEST(MemoryMap, SortKeepsWholeStrides) {
  Map map({{7, 0, 0x300000, 0, 1, 0}, {2, 0, 0x100000, 0, 2, 0}, {5, 0, 0x200000, 0, 3, kRt}});
  map.bytes[2 * Map::kStride + 44] = 0x5A;  // padding travels with its descriptor
  MemoryMapSort(map.Begin(), map.End(), Map::kStride);
  EXPECT_EQ(map.At(0)->PhysicalStart, 0x100000u);
  EXPECT_EQ(map.At(1)->PhysicalStart, 0x200000u);
  EXPECT_EQ(map.bytes[1 * Map::kStride + 44], 0x5A);
  EXPECT_EQ(map.At(2)->PhysicalStart, 0x300000u);
}

TEST(MemoryMap, RuntimeCensusAndCompaction) {
  Map map({{0, 0, 0x0, 0, 9, kRt}, {5, 0, 0x1000, 0, 2, kRt}, {7, 0, 0x3000, 0, 4, 0}, {6, 0, 0x7000, 0, 3, kRt}});
  UINTN count = 0;
  UINT64 pages = 0;
  MemoryMapRuntimeCensus(map.Begin(), map.End(), Map::kStride, &count, &pages);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(pages, 5u);
  EFI_MEMORY_DESCRIPTOR* end = MemoryMapKeepRuntime(map.Begin(), map.End(), Map::kStride);
  EXPECT_EQ(end, map.At(2));
  EXPECT_EQ(map.At(0)->Type, 5u);
  EXPECT_EQ(map.At(1)->Type, 6u);
}

TEST(MemoryMap, SplitCarvesExactlyTheAskedRange) {
  Map map({{7, 0, 0x100000, 0, 16, 0xF}});
  EFI_MEMORY_DESCRIPTOR* end = map.End();
  EFI_MEMORY_DESCRIPTOR* found = nullptr;
  ASSERT_EQ(MemoryMapSplit(map.Begin(), &end, Map::kStride, 0x104000, 2, &found), EFI_SUCCESS);
  EXPECT_EQ(found->PhysicalStart, 0x104000u);
  EXPECT_EQ(found->NumberOfPages, 2u);
  EXPECT_EQ(end, map.At(3));
  EXPECT_EQ(map.At(1)->PhysicalStart, 0x100000u);  // front piece
  EXPECT_EQ(map.At(1)->NumberOfPages, 4u);
  EXPECT_EQ(map.At(2)->PhysicalStart, 0x106000u);  // tail piece
  EXPECT_EQ(map.At(2)->NumberOfPages, 10u);
  EXPECT_EQ(MemoryMapSplit(map.Begin(), &end, Map::kStride, 0x900000, 1, &found), EFI_NOT_FOUND);
}

TEST(MemoryMap, FetchGivesUpAfterFourAttempts) {
  TestFirmware fw;
  fw.GrowMemoryMapTimes(4, 20);
  EFI_MEMORY_DESCRIPTOR* buffer = nullptr;
  UINTN buffer_size = 0, map_size = 0, key = 0, descriptor_size = 0;
  UINT32 version = 0;
  EXPECT_EQ(MemoryMapFetch(&map_size, &buffer, &buffer_size, &key, &descriptor_size, &version), kStatusBootEnding);
  EXPECT_NE(fw.ConsoleText().find("Can't get current memory map after retries (5)"), std::string::npos);
  PoolFree(buffer);
}

TEST(MemoryMap, FetchToleratesGrowthBetweenQueryAndFetch) {
  TestFirmware fw;
  // Twenty descriptors appear between each size query and fetch: more than the slack holds.
  fw.GrowMemoryMapTimes(3, 20);
  EFI_MEMORY_DESCRIPTOR* buffer = nullptr;
  UINTN buffer_size = 0, map_size = 0, key = 0, descriptor_size = 0;
  UINT32 version = 0;
  EXPECT_EQ(MemoryMapFetch(&map_size, &buffer, &buffer_size, &key, &descriptor_size, &version), EFI_SUCCESS);
  EXPECT_EQ(key, fw.MemoryMapKey());
  EXPECT_EQ(map_size % descriptor_size, 0u);
  EXPECT_GT(map_size / descriptor_size, 60u);
  PoolFree(buffer);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}
