// Loading unslid: segments at their kernel addresses, bounds, entry point, zero fill, the
// header messages and what a load leaves allocated.
#include <gtest/gtest.h>

#include <algorithm>

#include "output/error_report.h"
#include "flags/boot_mode.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "kernel/macho_loader.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/macho_test_support.h"

using namespace macho_test;

TEST(MachOLoad, CopiesSegmentsToTheirKernelAddressesAndReportsBoundsAndEntry) {
  TestFirmware fw;
  KernelImageInfo info;
  ASSERT_EQ(Load(SampleKernelFile(), &info), EFI_SUCCESS);
  EXPECT_EQ(info.LowestAddress, kBase);
  EXPECT_EQ(info.LowestPhysical, 0x2000000u);
  EXPECT_EQ(info.HighestEnd, kLinkeditAddress + 0x1000);
  EXPECT_EQ(info.HighestPhysical, 0x2004000u);
  EXPECT_EQ(info.EntryPoint, kEntry);
  EXPECT_EQ(info.EntryPhysical, 0x2001000u);
  EXPECT_EQ(LoadLe32(KernelMemory(kBase)), 0xFEEDFACFu) << "the header lies inside __TEXT";
  for (int i = 0; i < 0x200; ++i) ASSERT_EQ(KernelMemory(kEntry)[i], uint8_t(i * 7 + 1)) << i;
  EXPECT_EQ(KernelWord(kDataAddress), kEntry) << "no slide, no relocation";
  EXPECT_EQ(KernelWord(kDataAddress + 8), kUnrelocatedWord);
  EXPECT_EQ(TrackedAllocationCount(), 3u) << "one run of pages per segment and nothing else";
  EXPECT_EQ(fw.LivePageRuns(), 3u);
  EXPECT_EQ(fw.ConsoleText(), "");
}

TEST(MachOLoad, BoundsCoverAllSegmentsWhateverTheirOrder) {
  macho::Image base = SampleKernel();
  macho::Segment extra = NewSegment("__KLD", kBase + 0x8000);
  extra.contents.assign(0x10, 0xAB);
  base.segments.push_back(extra);
  std::vector<int> order = {0, 1, 2};
  do {
    SCOPED_TRACE(testing::Message() << order[0] << order[1] << order[2]);
    TestFirmware fw;
    macho::Image image = base;
    image.segments = {base.segments[order[0]], base.segments[order[1]], base.segments[order[2]]};
    KernelImageInfo info;
    ASSERT_EQ(Load(Write(image), &info), EFI_SUCCESS);
    EXPECT_EQ(info.LowestAddress, kBase);
    EXPECT_EQ(info.HighestEnd, kBase + 0xA000) << "__LINKEDIT follows the highest segment";
    EXPECT_EQ(KernelMemory(kBase + 0x8000)[0xF], 0xAB);
    EXPECT_EQ(KernelWord(kDataAddress + 8), kUnrelocatedWord);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(MachOLoad, FileSizeAboveVirtualSizeIsCutAndTheRestOfThePagesIsZeroed) {
  TestFirmware fw;
  macho::Image image = SampleKernel();
  image.segments[1].contents.assign(0x1800, 0xCD);  // more file bytes than the segment spans
  image.segments[1].virtual_size = 0x800;
  image.segments.push_back(NewSegment("__BSS", kBase + 0x6000, 0x3000, 3));
  macho::Layout layout;
  std::vector<uint8_t> file = Write(image, &layout);
  KernelImageInfo info;
  ASSERT_EQ(Load(file, &info), EFI_SUCCESS);
  EXPECT_EQ(KernelMemory(kDataAddress)[0x7FF], 0xCD);
  EXPECT_EQ(KernelMemory(kDataAddress)[0x800], 0) << "bytes past the virtual size are not copied";
  EXPECT_EQ(KernelMemory(kDataAddress)[0xFFF], 0);
  EXPECT_EQ(KernelMemory(kBase + 0x6000)[0], 0) << "a segment without file bytes is only zeroed";
  EXPECT_EQ(KernelMemory(kBase + 0x8FFF)[0], 0);
  EXPECT_EQ(info.HighestEnd, kBase + 0xA000);  // __LINKEDIT after the 0x3000 bytes of __BSS
}

TEST(MachOLoad, OnlyTheFileSizeIsReadAndTheRestIsZeroed) {
  TestFirmware fw;
  macho::Layout layout;
  macho::Image small = SampleKernel();
  small.segments[1].contents.assign(0x40, 0xEE);
  std::vector<uint8_t> small_file = Write(small, &layout);
  PutLe64(&small_file, layout.segment_commands[1] + 48, 0x10);  // file size 0x10 of 0x40 present
  ASSERT_EQ(Load(small_file), EFI_SUCCESS);
  EXPECT_EQ(KernelMemory(kDataAddress)[0xF], 0xEE);
  EXPECT_EQ(KernelMemory(kDataAddress)[0x10], 0);
}

TEST(MachOLoad, SegmentsOfVirtualSizeZeroAreSkippedWithoutTouchingTheBounds) {
  TestFirmware fw;
  macho::Image image = SampleKernel();
  image.segments.push_back(NewSegment("__EMPTY", 0xFFFFFF8001000000ull));
  macho::Layout layout;
  std::vector<uint8_t> file = Write(image, &layout);
  PutLe64(&file, layout.segment_commands[2] + 32, 0);  // the writer rounds 0 up; force it
  KernelImageInfo info;
  ASSERT_EQ(Load(file, &info), EFI_SUCCESS);
  EXPECT_EQ(info.LowestAddress, kBase);
  EXPECT_EQ(fw.LivePageRuns(), 3u);
}

TEST(MachOLoad, UniversalFileLoadsTheSliceCpuSubtypeSelects) {
  auto slice = [](uint32_t subtype, uint8_t fill) {
    macho::Image image = SampleKernel();
    image.cpu_subtype = subtype;
    image.segments[0].contents.assign(0x200, fill);
    return macho::Slice{0x01000007, subtype, Write(image)};
  };
  std::vector<uint8_t> file = macho::WriteUniversal({slice(3, 0x33), slice(8, 0x88)});
  for (auto [subtype, fill] : {std::pair<UINT32, uint8_t>{3, 0x33}, {8, 0x88}}) {
    TestFirmware fw;
    CpuSubtype = subtype;
    KernelImageInfo info;
    ASSERT_EQ(Load(file, &info), EFI_SUCCESS) << subtype;
    EXPECT_EQ(KernelMemory(kEntry)[0x1FF], fill) << "segment offsets count from the slice";
    EXPECT_EQ(KernelWord(kDataAddress), kEntry);
    EXPECT_EQ(info.EntryPoint, kEntry);
  }
}

TEST(MachOLoad, HeaderFailures) {
  std::vector<uint8_t> good = SampleKernelFile();
  {
    TestFirmware fw;
    std::vector<uint8_t> bad = good;
    PutLe32(&bad, 0, 0xFEEDFACD);
    EXPECT_EQ(Load(bad), EFI_LOAD_ERROR);
    EXPECT_EQ(fw.ConsoleText(), "Mach-O file has bad magic number 0xfeedfacd\r\n");
  }
  {
    TestFirmware fw;
    std::vector<uint8_t> tiny(good.begin(), good.begin() + 30);
    EXPECT_EQ(Load(tiny), EFI_LOAD_ERROR) << "header cut short";
  }
  {
    TestFirmware fw;
    std::vector<uint8_t> bad = good;
    PutLe32(&bad, 0, 0xFEEDFACE);
    EXPECT_EQ(Load(bad), kStatusKernel32Bit);
    EXPECT_EQ(fw.ConsoleText(), "Booting from 32-bit kernelcache is not supported. Exiting.\r\n");
  }
  {
    TestFirmware fw;
    fw.FailNthAllocation(1);  // the copy of the load commands
    EXPECT_EQ(Load(good), kStatusBootEnding);
    EXPECT_NE(fw.ConsoleText().find("Out of memory in LoadKernel\r\n"), std::string::npos);
  }
}

TEST(MachOLoad, ThirtyTwoBitThreadStateIsUnsupported) {
  TestFirmware fw;
  macho::Image image = SampleKernel();
  image.thread_flavor = 1;
  EXPECT_EQ(Load(Write(image)), EFI_UNSUPPORTED);
  EXPECT_EQ(fw.ConsoleText(), "Only 64-bit version of LC_UNIXTHREAD is supported\r\n");
}

TEST(MachOLoad, SegmentMemoryAlreadyTakenIsOutOfResources) {
  TestFirmware fw;
  macho::Image image = SampleKernel();
  image.segments[1].address = kBase + 0x1000;  // overlaps the second page of __TEXT
  EXPECT_EQ(Load(Write(image)), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(TrackedAllocationCount(), fw.LivePageRuns()) << "the load commands are freed on failure too";
}

TEST(MachOLoad, SeekAndReadFailuresReportTheFirmwareStatus) {
  TestFirmware fw;
  macho::Layout layout;
  macho::Image image = SampleKernel();
  image.segments.push_back(NewSegment("__BSS", kBase + 0x6000, 0x1000, 3));
  std::vector<uint8_t> file = Write(image, &layout);
  PutLe64(&file, layout.segment_commands[2] + 40, file.size() + 1);  // zero-fill segment, offset past the end
  EXPECT_EQ(Load(file), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fw.ConsoleText(), "Set offset failed\r\n");
}

TEST(MachOLoad, NonPositionIndependentKernelCancelsTheSlide) {
  TestFirmware fw;
  ChooseSlide(kSlide);
  macho::Image image = SampleKernel();
  image.flags &= ~0x200000u;
  KernelImageInfo info;
  ASSERT_EQ(Load(Write(image), &info), EFI_SUCCESS);
  EXPECT_EQ(info.LowestAddress, kBase);
  EXPECT_EQ(info.EntryPoint, kEntry);
  EXPECT_EQ(BootModeFlags & kBootModeSlide, 0u);
  EXPECT_EQ(KernelSlide, 0u);
  EXPECT_EQ(KernelWord(kDataAddress), kEntry);
}
