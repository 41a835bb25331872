#include <gtest/gtest.h>

#include "memory/memory.h"
#include "testfw/test_firmware.h"

TEST(AllocationTags, ReleaseAllReturnsEveryPoolBlockAndPageRun) {
  TestFirmware fw;
  // More than one tag block's worth, to exercise block chaining.
  std::vector<void*> blocks;
  for (int i = 0; i < 300; ++i) blocks.push_back(PoolAllocate(16 + i));
  EFI_PHYSICAL_ADDRESS pages = 0;
  ASSERT_EQ(PagesAllocate(AllocateAnyPages, EfiLoaderData, 3, &pages), EFI_SUCCESS);
  PoolFree(blocks[7]);
  EXPECT_EQ(TrackedAllocationCount(), 300u);
  ReleaseAllAllocations();
  EXPECT_EQ(TrackedAllocationCount(), 0u);
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

TEST(AllocationTags, FreeingUnknownPagesWarnsAndSucceeds) {
  TestFirmware fw;
  EFI_PHYSICAL_ADDRESS pages = 0;
  ASSERT_EQ(fw.SystemTable()->BootServices->AllocatePages(AllocateAnyPages, EfiLoaderData, 2, &pages), EFI_SUCCESS);
  EXPECT_EQ(PagesFree(pages, 2), EFI_SUCCESS);
  char expected[96];
  snprintf(expected, sizeof(expected), "WARNING: freeing 2 unknown pages at 0x%llx\r\n",
           static_cast<unsigned long long>(pages));
  EXPECT_EQ(fw.ConsoleText(), expected);
}

TEST(AllocationTags, SecretsAreWipedBeforeRelease) {
  TestFirmware fw;
  std::vector<uint8_t> secret = {0xC0, 0xFF, 0xEE, 0x12, 0x34, 0x56, 0x78, 0x9A};
  fw.WatchSecret(secret);
  auto* a = static_cast<uint8_t*>(PoolAllocate(64));
  std::copy(secret.begin(), secret.end(), a + 8);
  PoolFreeSecret(a, 64);
  EXPECT_EQ(fw.SecretsLeaked(), 0);
  auto* b = static_cast<uint8_t*>(PoolAllocate(64));
  std::copy(secret.begin(), secret.end(), b);
  PoolFree(b);
  EXPECT_EQ(fw.SecretsLeaked(), 1);
}

TEST(AllocationTags, FixedAddressPagesAreRealMemory) {
  TestFirmware fw;
  EFI_PHYSICAL_ADDRESS at = 0x3FFF0000;
  ASSERT_EQ(PagesAllocate(AllocateAddress, EfiLoaderData, 4, &at), EFI_SUCCESS);
  EXPECT_EQ(at, 0x3FFF0000u);
  reinterpret_cast<volatile uint32_t*>(at)[100] = 0x12345678;
  EFI_PHYSICAL_ADDRESS below = 0xFFFFFFFF;
  ASSERT_EQ(PagesAllocate(AllocateMaxAddress, EfiLoaderCode, 1, &below), EFI_SUCCESS);
  EXPECT_LT(below, 0x100000000ull);
  ReleaseAllAllocations();
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

TEST(AllocationTags, NoRoomForATagGivesTheAllocationBack) {
  TestFirmware fw;
  fw.FailNthPoolAllocation(2);  // the block itself succeeds, the first tag block does not
  EXPECT_EQ(PoolAllocate(64), nullptr);
  EXPECT_EQ(fw.ConsoleText(), "Can't allocate memory tag\r\n");
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}
