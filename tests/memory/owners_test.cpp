#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "memory/owners.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

constexpr EFI_GUID kSomeProtocol = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, 8}};

// Nothing tracked is live and, once the tracker's own blocks go, the firmware holds nothing.
void ExpectNothingHeld(TestFirmware& fw) {
  EXPECT_EQ(TrackedAllocationCount(), 0u);
  ReleaseAllAllocations();
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

}  // namespace

TEST(Owners, EveryOwnerGivesBackWhatItHolds) {
  TestFirmware fw;
  int value = 0;
  fw.InstallProtocol(fw.NewHandle(), kSomeProtocol, &value);
  fw.InstallProtocol(fw.NewHandle(), kSomeProtocol, &value);
  {
    PoolBuffer pool;
    ASSERT_EQ(pool.Allocate(100), EFI_SUCCESS);
    ASSERT_EQ(pool.AllocateZero(0), EFI_SUCCESS);  // replaces the first block; still a block
    EXPECT_EQ(TrackedAllocationCount(), 1u);
    PageRun pages;
    ASSERT_EQ(pages.Allocate(AllocateAnyPages, EfiLoaderData, 2), EFI_SUCCESS);
    EXPECT_NE(pages.address(), 0u);
    HandleBuffer handles;
    ASSERT_EQ(handles.Locate(kSomeProtocol), EFI_SUCCESS);
    EXPECT_EQ(handles.count(), 2u);
    SecretBuffer secret(32);
    ASSERT_NE(secret.get(), nullptr);
    EXPECT_TRUE(std::all_of(secret.get(), secret.get() + 32, [](UINT8 b) { return b == 0; }));
  }
  ExpectNothingHeld(fw);
}

TEST(Owners, ReleasedResourcesStayWithTheCaller) {
  TestFirmware fw;
  EFI_PHYSICAL_ADDRESS kept = 0;
  void* block = nullptr;
  {
    PageRun pages;
    ASSERT_EQ(pages.Allocate(AllocateAnyPages, EfiLoaderData, 1), EFI_SUCCESS);
    kept = pages.Release();
    PoolBuffer pool;
    ASSERT_EQ(pool.Allocate(8), EFI_SUCCESS);
    block = pool.Release();
  }
  EXPECT_EQ(fw.LivePageRuns(), 1u);
  EXPECT_EQ(TrackedAllocationCount(), 2u);
  PoolFree(block);
  EXPECT_EQ(PagesFree(kept, 1), EFI_SUCCESS);
  ExpectNothingHeld(fw);
}

TEST(Owners, SecretBufferIsWipedBeforeItGoes) {
  TestFirmware fw;
  std::vector<uint8_t> secret = {0x5E, 0xC2, 0xE7, 0x00, 0x11, 0x22, 0x33, 0x44};
  fw.WatchSecret(secret);
  {
    SecretBuffer buffer(64);
    std::copy(secret.begin(), secret.end(), buffer.get() + 16);
  }
  EXPECT_EQ(fw.SecretsLeaked(), 0);
  ExpectNothingHeld(fw);
}

TEST(Owners, FailuresLeaveNothingHeld) {
  TestFirmware fw;
  int value = 0;
  fw.InstallProtocol(fw.NewHandle(), kSomeProtocol, &value);
  {
    PoolBuffer pool;
    fw.FailNthPoolAllocation(1);
    EXPECT_EQ(pool.Allocate(16), EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(pool.get(), nullptr);
    HandleBuffer none;
    constexpr EFI_GUID kAbsent = {0xDEAD, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(none.Locate(kAbsent), EFI_NOT_FOUND);
    EXPECT_EQ(none.count(), 0u);
    // The firmware's handle list arrives, but the tracker has no room: the list goes back.
    HandleBuffer untracked;
    fw.FailNthPoolAllocation(2);
    EXPECT_EQ(untracked.Locate(kSomeProtocol), EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(untracked.count(), 0u);
  }
  ExpectNothingHeld(fw);
}

TEST(Owners, OpenFileClosesAndHandsOn) {
  TestFirmware fw;
  MemoryFileSystem volume;
  volume.AddFile("\\a", std::vector<uint8_t>{1, 2, 3});
  EFI_FILE_PROTOCOL* root = nullptr;
  ASSERT_EQ(volume.Protocol()->OpenVolume(volume.Protocol(), &root), EFI_SUCCESS);
  CHAR16 name[] = u"\\a";
  {
    OpenFile file;
    ASSERT_EQ(root->Open(root, file.out(), name, EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
    EXPECT_EQ(volume.OpenHandles(), 2u);
  }
  EXPECT_EQ(volume.OpenHandles(), 1u);
  {
    OpenFile file;
    ASSERT_EQ(root->Open(root, file.out(), name, EFI_FILE_MODE_READ, 0), EFI_SUCCESS);
    EFI_FILE_PROTOCOL* kept = file.Release();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(volume.OpenHandles(), 2u);
    kept->Close(kept);
  }
  root->Close(root);
  EXPECT_EQ(volume.OpenHandles(), 0u);
}
