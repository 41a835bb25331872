#include <gtest/gtest.h>

#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {
constexpr UINT64 kKernelBase = 0xFFFFFF8002000000ull;
}

TEST(KernelRegion, GrowsFromTheKernelAddressAndMapsLow30Bits) {
  TestFirmware fw;
  UINT64 size = 0, address = 0;
  EXPECT_EQ(KernelMemoryAllocate(&size, &address), 0u) << "no address before anything is allocated";
  size = 5000;
  address = kKernelBase;
  EXPECT_EQ(KernelMemoryAllocate(&size, &address), 0x2000000u);
  EXPECT_EQ(size, 8192u);
  UINT64 next_size = 100, next = 0;
  EXPECT_EQ(KernelMemoryAllocate(&next_size, &next), 0x2002000u);
  EXPECT_EQ(next, kKernelBase + 8192);
  UINT64 zero_size = 0, zero_at = 0;
  EXPECT_EQ(KernelMemoryAllocate(&zero_size, &zero_at), 0x2003000u) << "size 0 still reports where it would be";
  UINT64 low = 0, high = 0;
  KernelRegionBounds(&low, &high);
  EXPECT_EQ(low, 0x2000000u);
  EXPECT_EQ(high, 0x2003000u);
  static_cast<volatile uint8_t*>(reinterpret_cast<void*>(0x2002FFF))[0] = 1;  // real memory
}

TEST(KernelRegion, OnlyTheTopmostAllocationIsFreed) {
  TestFirmware fw;
  UINT64 size = 4096, address = kKernelBase;
  UINT64 first = KernelMemoryAllocate(&size, &address);
  UINT64 second_size = 4096, second_at = 0;
  UINT64 second = KernelMemoryAllocate(&second_size, &second_at);
  KernelMemoryFree(address, first, size);  // not the top: ignored
  UINT64 low = 0, high = 0;
  KernelRegionBounds(&low, &high);
  EXPECT_EQ(high, second + 4096);
  KernelMemoryFree(second_at, second, 4096);
  KernelRegionBounds(&low, &high);
  EXPECT_EQ(high, first + 4096);
  EXPECT_EQ(fw.LivePageRuns(), 1u);
}

TEST(KernelRegion, FailedPageAllocationPrintsAndReturnsZero) {
  TestFirmware fw;
  fw.FailNthAllocation(1);
  UINT64 size = 4096, address = kKernelBase;
  EXPECT_EQ(KernelMemoryAllocate(&size, &address), 0u);
  EXPECT_EQ(fw.ConsoleText(), "Error allocating 0x1 pages at 0x0000000002000000 alloc type 2\r\n");
  EXPECT_EQ(KernelMemoryAllocate(nullptr, &address), 0u);
}
