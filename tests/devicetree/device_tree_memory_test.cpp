#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tools/lib/device_tree_decode.h"

namespace {

// Builds a tree that needs several node and property blocks and copied values; false at the
// first operation that fails.
bool BuildTree() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (int i = 0; i < 140; ++i) n.push_back("n" + std::to_string(i));
    return n;
  }();
  if (DeviceTreeInit() != EFI_SUCCESS) return false;
  for (int i = 0; i < 140; ++i) {
    DeviceTreeNode* node = DeviceTreeFindNode(("/efi/configuration-table/" + names[i]).c_str(), true);
    if (!node || !DeviceTreeAddProperty(node, "table", sizeof(i), &i, true)) return false;
  }
  return DeviceTreeAddProperty(DeviceTreeFindNode("/chosen", true), "boot-args", 3, "-v", true) != nullptr;
}

// Gives the allocation tracker enough tags for the whole tree up front, so that a failing
// allocation is always one the tree asked for.
void WarmUpTracker() {
  std::vector<void*> blocks;
  for (int i = 0; i < 400; ++i) blocks.push_back(PoolAllocate(16));
  for (void* block : blocks) PoolFree(block);
}

TEST(DeviceTreeMemory, FreeReturnsEveryBlockAndCopiedValue) {
  TestFirmware fw;
  WarmUpTracker();
  size_t before = fw.LivePoolBlocks();
  ASSERT_TRUE(BuildTree());
  EXPECT_GT(fw.LivePoolBlocks(), before + 140);
  DeviceTreeFree();
  EXPECT_EQ(fw.LivePoolBlocks(), before);
  EXPECT_EQ(DeviceTreeRoot(), nullptr);
  // The tree can be built again after a free, and InitDeviceTree on a live tree frees it.
  ASSERT_TRUE(BuildTree());
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  DeviceTreeFree();
  EXPECT_EQ(fw.LivePoolBlocks(), before);
}

TEST(DeviceTreeMemory, EveryAllocationFailureLeavesAConsistentTreeAndNoLeak) {
  int failures_seen = 0;
  for (int n = 1;; ++n) {
    TestFirmware fw;
    WarmUpTracker();
    size_t before = fw.LivePoolBlocks();
    fw.FailNthAllocation(n);
    bool built = BuildTree();
    fw.FailNthAllocation(0);
    if (built) break;  // n is past the last allocation the build makes
    ++failures_seen;
    // What was built so far flattens to exactly its counted size and decodes cleanly.
    if (DeviceTreeRoot()) {
      void* block = nullptr;
      UINT32 size = 0;
      ASSERT_EQ(DeviceTreeFlatten(&block, &size), EFI_SUCCESS) << n;
      DecodedDeviceTreeNode decoded;
      std::string error;
      EXPECT_TRUE(DecodeDeviceTree(static_cast<uint8_t*>(block), size, &decoded, &error)) << n << ": " << error;
      PoolFree(block);
    }
    DeviceTreeFree();
    ASSERT_EQ(fw.LivePoolBlocks(), before) << "leak after failing allocation " << n;
  }
  // Two node blocks, three property blocks and the copied values all had their turn.
  EXPECT_GT(failures_seen, 280);
}

TEST(DeviceTreeMemory, FailedNodeCreationLinksNothing) {
  TestFirmware fw;
  WarmUpTracker();
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  UINT32 before = 0;
  ASSERT_EQ(DeviceTreeFlattenedSize(&before), EFI_SUCCESS);
  fw.FailNthAllocation(1);  // the copy of the name
  EXPECT_EQ(DeviceTreeFindNode("/chosen", true), nullptr);
  fw.FailNthAllocation(0);
  EXPECT_EQ(DeviceTreeRoot()->first_child, nullptr);
  UINT32 after = 0;
  ASSERT_EQ(DeviceTreeFlattenedSize(&after), EFI_SUCCESS);
  EXPECT_EQ(after, before);
  EXPECT_NE(DeviceTreeFindNode("/chosen", true), nullptr);
  DeviceTreeFree();
}

TEST(DeviceTreeMemory, RootThatCannotBeCreatedIsReported) {
  TestFirmware fw;
  WarmUpTracker();
  fw.FailNthAllocation(1);
  EXPECT_EQ(DeviceTreeInit(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(DeviceTreeRoot(), nullptr);
  DeviceTreeFree();
}

}  // namespace
