// Decompressing a kernel cache straight into the kernel region: which images take that
// path, that the loaded kernel is the same as through a buffer, and that a failure after
// the pages were taken gives all of them back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "config/kernel_slide.h"
#include "flags/boot_mode.h"
#include "kernel/macho_loader.h"
#include "kernel/macho_placement.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/kernel_cache_test_support.h"
#include "tools/lib/macho_writer.h"

using namespace kc_test;
using kernel_cache::Method;

namespace {

// The largest pool block asked for since the firmware was made: a kernel decompressed into
// a buffer needs one of the kernel's size.
UINTN gLargestPool = 0;
EFI_STATUS(EFIAPI* gRealAllocatePool)(EFI_MEMORY_TYPE, UINTN, VOID**) = nullptr;
EFI_STATUS EFIAPI RecordingAllocatePool(EFI_MEMORY_TYPE type, UINTN size, VOID** buffer) {
  if (size > gLargestPool) gLargestPool = size;
  return gRealAllocatePool(type, size, buffer);
}
void RecordPoolSizes() {
  gLargestPool = 0;
  gRealAllocatePool = gBS->AllocatePool;
  gBS->AllocatePool = RecordingAllocatePool;
}

struct Loaded {
  EFI_STATUS status;
  KernelImageInfo info;
  std::vector<uint8_t> memory;  // [LowestPhysical, HighestPhysical), or the first kTextSize bytes
};

// Header and code of the test kernels: the memory that is certainly loaded when segments
// leave holes between them.
constexpr uint64_t kTextSize = 0x4000;

Loaded Snapshot(EFI_STATUS status, const KernelImageInfo& info, bool text_only = false) {
  Loaded loaded{status, info, {}};
  if (status == EFI_SUCCESS && info.HighestPhysical > info.LowestPhysical) {
    const auto* at = reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(info.LowestPhysical));
    uint64_t size = text_only ? kTextSize : info.HighestPhysical - info.LowestPhysical;
    loaded.memory.assign(at, at + size);
  }
  return loaded;
}

// The plain Mach-O through the ordinary loader: the reference for a placed load.
Loaded LoadPlain(const std::vector<uint8_t>& kernel, bool slide = false, bool text_only = false) {
  TestFirmware fw;
  BootModeFlags = slide ? kBootModeSlide : 0;
  KernelSlide = slide ? kSlide : 0;
  KernelImageInfo info{};
  BootFile file;
  BootFileFromMemory(kernel.data(), kernel.size(), &file);
  EFI_STATUS status = LoadKernelFromStream(&file, &info);
  return Snapshot(status, info, text_only);
}

// The kernel with __DATA one page further up than the file has it: not flat.
std::vector<uint8_t> KernelWithGap() {
  std::vector<uint8_t> code(0x3000, 0x90);
  macho::FlatKernel flat;
  macho::Image image;
  std::string error;
  EXPECT_TRUE(macho::WrapFlatBinary(code, flat, &image, &error)) << error;
  image.segments[1].address += 0x1000;
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(macho::WriteImage(image, &bytes, &error)) << error;
  return bytes;
}

}  // namespace

TEST(Placement, FlatKernelIsDecompressedIntoItsPagesAndLoadsAsFromABuffer) {
  for (Method method : {Method::kLzvn, Method::kLzss}) {
    for (bool slide : {false, true}) {
      SCOPED_TRACE(testing::Message() << (method == Method::kLzvn ? "lzvn" : "lzss") << ", slide " << slide);
      std::vector<uint8_t> kernel = Kernel(0x20, 3, 0x6000);
      Loaded expected = LoadPlain(kernel, slide);
      TestFirmware fw;
      BootModeFlags = slide ? kBootModeSlide : 0;
      KernelSlide = slide ? kSlide : 0;
      RecordPoolSizes();
      KernelImageInfo info{};
      Loaded placed = Snapshot(LoadFromMemory(Container(kernel, method), &info), info);
      ASSERT_EQ(placed.status, EFI_SUCCESS);
      EXPECT_LT(gLargestPool, kernel.size()) << "no buffer of the kernel's size";
      EXPECT_EQ(std::memcmp(&placed.info, &expected.info, sizeof(info)), 0);
      EXPECT_EQ(placed.memory, expected.memory);
      EXPECT_EQ(fw.LivePageRuns(), 3u);
    }
  }
}

TEST(Placement, OtherShapesAndABusyRegionGoThroughABuffer) {
  struct Case {
    const char* name;
    std::vector<uint8_t> kernel;
    bool busy_region;
  };
  const Case cases[] = {
      {"segment memory not at one distance from the file", KernelWithGap(), false},
      {"region already in use", Kernel(0x20), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded expected = LoadPlain(c.kernel, false, true);
    TestFirmware fw;
    if (c.busy_region) {
      UINT64 size = EFI_PAGE_SIZE, at = 0xFFFFFF8001000000ull;
      ASSERT_NE(KernelMemoryAllocate(&size, &at), 0u);
    }
    RecordPoolSizes();
    KernelImageInfo info{};
    Loaded loaded = Snapshot(LoadFromMemory(Container(c.kernel), &info), info, true);
    ASSERT_EQ(loaded.status, EFI_SUCCESS);
    EXPECT_GE(gLargestPool, c.kernel.size());
    EXPECT_EQ(loaded.memory, expected.memory);
  }
}

TEST(Placement, FailureAfterThePagesWereTakenGivesThemBackAndEmptiesTheRegion) {
  std::vector<uint8_t> kernel = Kernel(0x20);
  // Checked by the loader only after decompression: an entry point outside the image.
  std::vector<uint8_t> no_entry = kernel;
  {
    macho::Image image;
    std::string error;
    ASSERT_TRUE(macho::WrapFlatBinary(std::vector<uint8_t>(0x3000, 0x90), macho::FlatKernel{}, &image, &error));
    image.entry = kBase + 0x100000;
    ASSERT_TRUE(macho::WriteImage(image, &no_entry, &error)) << error;
  }
  kernel_cache::RawContainer bad_checksum = RawFor(kernel);
  bad_checksum.adler32 ^= 1;
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    EFI_STATUS status;
  };
  const Case cases[] = {
      {"checksum", kernel_cache::WriteRawContainer(bad_checksum), EFI_CRC_ERROR},
      {"entry point outside the image", Container(no_entry), EFI_LOAD_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestFirmware fw;
    KernelImageInfo info{};
    EXPECT_EQ(LoadFromMemory(c.file, &info), c.status);
    EXPECT_EQ(fw.LivePageRuns(), 0u);
    UINT64 low = 0, high = 0;
    KernelRegionBounds(&low, &high);
    EXPECT_EQ(high, 0u) << "the region is empty again";
    // The next candidate loads where this one would have.
    EXPECT_EQ(LoadFromMemory(Container(kernel), &info), EFI_SUCCESS);
  }
}

TEST(Placement, LoaderRefusesASegmentThePlacementDoesNotHold) {
  std::vector<uint8_t> kernel = Kernel(0x20);
  TestFirmware fw;
  KernelPlacement none;  // holds no segment at all
  KernelImageInfo info{};
  BootFile file;
  BootFileFromMemory(kernel.data(), kernel.size(), &file);
  EXPECT_EQ(LoadPlacedKernel(&file, &none, &info), EFI_LOAD_ERROR);
  EXPECT_EQ(fw.LivePageRuns(), 0u) << "no page taken on the placement's behalf";
}
