// The compressed container: both methods, the checksum, the sizes taken from the header,
// the slide-support word and universal files.
#include <gtest/gtest.h>

#include <cstring>

#include "flags/boot_mode.h"
#include "memory/memory.h"
#include "kernel/adler32.h"
#include "kernel/kernel_cache.h"
#include "config/kernel_slide.h"
#include "kernel/prelinked_kernel.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/kernel_cache_test_support.h"
#include "tools/lib/macho_writer.h"

using namespace kc_test;
using kernel_cache::Method;

namespace {

const uint8_t* Physical(uint64_t kernel_address) {
  return reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(KernelToPhysical(kernel_address)));
}

bool InOrder(const std::string& text, const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    at = text.find(part, at);
    if (at == std::string::npos) return false;
    at += part.size();
  }
  return true;
}

}  // namespace

class ContainerMethods : public testing::TestWithParam<Method> {};

TEST_P(ContainerMethods, LoadsTheKernelChecksItAndMarksEveryStage) {
  TestFirmware fw;
  CaptureLog();
  std::vector<uint8_t> kernel = Kernel(0x40);
  std::vector<uint8_t> file = Container(kernel, GetParam());
  size_t tracked_before = TrackedAllocationCount();
  KernelImageInfo info;
  std::memset(&info, 0xAA, sizeof(info));  // the loader clears its out record
  ASSERT_EQ(LoadFromMemory(file, &info), EFI_SUCCESS);
  EXPECT_EQ(info.EntryPoint, kCode + 0x40);
  EXPECT_EQ(info.LowestAddress, kBase);
  EXPECT_EQ(std::memcmp(Physical(kCode), kernel.data() + 0x1000, 0x3000), 0) << "the code landed at its address";
  EXPECT_EQ(KernelCacheAdler32(), CalculateAdler32(kernel.data(), kernel.size()));
  EXPECT_EQ(TrackedAllocationCount(), tracked_before + 3) << "the segments' pages and nothing else";
  EXPECT_TRUE(InOrder(LogText(), {"hearth: Start ReadKernelCache", "hearth: End ReadKernelCache",
                                  "hearth: Start UncompressKernelCache", "hearth: End UncompressKernelCache",
                                  "hearth: Start CalculateAdler32", "hearth: End CalculateAdler32",
                                  "hearth: Start LoadKernelFromStream", "hearth: End LoadKernelFromStream"}))
      << LogText();
}

INSTANTIATE_TEST_SUITE_P(Methods, ContainerMethods, testing::Values(Method::kLzvn, Method::kLzss),
                         [](const auto& info) { return info.param == Method::kLzvn ? "Lzvn" : "Lzss"; });

TEST(Container, PlainMachOLoadsDirectlyWithoutChecksum) {
  TestFirmware fw;
  CaptureLog();
  KernelImageInfo info;
  ASSERT_EQ(LoadFromMemory(Kernel(8), &info), EFI_SUCCESS);
  EXPECT_EQ(info.EntryPoint, kCode + 8);
  EXPECT_EQ(KernelCacheAdler32(), 0u);
  std::string log = LogText();
  EXPECT_NE(log.find("hearth: Start LoadKernelFromStream"), std::string::npos);
  EXPECT_EQ(log.find("ReadKernelCache"), std::string::npos);
  EXPECT_EQ(log.find("CalculateAdler32"), std::string::npos);
}

// Containers that must not load, each with its status and the log line it leaves.
struct BrokenCase {
  const char* name;
  void (*spoil)(kernel_cache::RawContainer*);
  EFI_STATUS status;
  const char* log;  // "" when nothing is logged
};

const BrokenCase kBroken[] = {
    {"unknown method", [](kernel_cache::RawContainer* c) { c->method = "zlib"; }, EFI_UNSUPPORTED, ""},
    {"Adler-32 off by one", [](kernel_cache::RawContainer* c) { c->adler32 += 1; }, EFI_CRC_ERROR,
     "ERROR!!! Prelinked kernel corrupted\n"},
    {"uncompressed size too large", [](kernel_cache::RawContainer* c) { c->uncompressed_size += 0x100; },
     EFI_DEVICE_ERROR, "ERROR!!! Uncompress prelinked kernel\n"},
    {"compressed stream cut", [](kernel_cache::RawContainer* c) {
       c->compressed.resize(c->compressed.size() / 2);
       c->compressed_size = uint32_t(c->compressed.size());
     }, EFI_DEVICE_ERROR, "ERROR!!! Uncompress prelinked kernel\n"},
    {"compressed size beyond the file", [](kernel_cache::RawContainer* c) { c->compressed_size += 1; },
     EFI_NOT_FOUND, ""},
    {"compressed size near 4 GiB", [](kernel_cache::RawContainer* c) { c->compressed_size = 0xFFFFFFF0u; },
     EFI_NOT_FOUND, ""},
};

TEST(Container, BrokenContainersFailWithTheirOwnStatusAndLoadNothing) {
  for (const BrokenCase& broken : kBroken) {
    SCOPED_TRACE(broken.name);
    TestFirmware fw;
    CaptureLog();
    kernel_cache::RawContainer raw = RawFor(Kernel());
    broken.spoil(&raw);
    size_t tracked_before = TrackedAllocationCount();
    KernelImageInfo info;
    EXPECT_EQ(LoadFromMemory(kernel_cache::WriteRawContainer(raw), &info), broken.status);
    std::string log = LogText();
    if (*broken.log) {
      EXPECT_NE(log.find(broken.log), std::string::npos) << log;
    } else {
      EXPECT_EQ(log.find("ERROR!!!"), std::string::npos) << log;
    }
    EXPECT_EQ(fw.LivePageRuns(), 0u) << "no segment was loaded";
    EXPECT_EQ(TrackedAllocationCount(), tracked_before);
    EXPECT_EQ(KernelCacheAdler32(), 0u);
  }
}

TEST(Container, HeaderCutShortIsALoadError) {
  TestFirmware fw;
  std::vector<uint8_t> file = kernel_cache::WriteRawContainer(RawFor(Kernel()));
  file.resize(200);
  KernelImageInfo info;
  EXPECT_EQ(LoadFromMemory(file, &info), EFI_LOAD_ERROR);
}

TEST(Container, LzssOutputStopsAtTheUncompressedSizeAndTheChecksumDecides) {
  std::vector<uint8_t> kernel = Kernel(0x10);
  std::vector<uint8_t> longer = kernel;
  longer.insert(longer.end(), 0x2000, 0x5A);  // the stream holds more than the header admits
  kernel_cache::RawContainer raw = RawFor(longer, Method::kLzss);
  raw.uncompressed_size = uint32_t(kernel.size());
  for (bool checksum_of_cut_output : {true, false}) {
    SCOPED_TRACE(checksum_of_cut_output ? "checksum of the cut output" : "checksum of the whole stream");
    TestFirmware fw;
    raw.adler32 = checksum_of_cut_output ? CalculateAdler32(kernel.data(), kernel.size())
                                         : CalculateAdler32(longer.data(), longer.size());
    KernelImageInfo info;
    EFI_STATUS status = LoadFromMemory(kernel_cache::WriteRawContainer(raw), &info);
    EXPECT_EQ(status, checksum_of_cut_output ? EFI_SUCCESS : EFI_CRC_ERROR);
    if (checksum_of_cut_output) {
      EXPECT_EQ(info.EntryPoint, kCode + 0x10);
    }
  }
}

TEST(Container, SlideSupportWordOfZeroCancelsTheSlide) {
  for (bool support : {false, true}) {
    SCOPED_TRACE(support ? "slide supported" : "slide not supported");
    TestFirmware fw;
    BootModeFlags |= kBootModeSlide;
    KernelSlide = kSlide;
    KernelImageInfo info;
    ASSERT_EQ(LoadFromMemory(Container(Kernel(), Method::kLzvn, support), &info), EFI_SUCCESS);
    EXPECT_EQ(info.EntryPoint, kCode + (support ? kSlide : 0));
    EXPECT_EQ(info.LowestAddress, kBase + (support ? kSlide : 0));
    EXPECT_EQ((BootModeFlags & kBootModeSlide) != 0, support);
    EXPECT_EQ(KernelSlide, support ? kSlide : 0);
  }
}

TEST(Container, SlideStaysWhenTheContainerIsRefusedForItsMethod) {
  // The slide word is read before the method: a refused container with a 0 word still
  // cancels the slide, as the next candidate would be loaded unslid anyway.
  TestFirmware fw;
  BootModeFlags |= kBootModeSlide;
  KernelSlide = kSlide;
  kernel_cache::RawContainer raw = RawFor(Kernel());
  raw.method = "lzfs";
  raw.slide_support = 0;
  KernelImageInfo info;
  EXPECT_EQ(LoadFromMemory(kernel_cache::WriteRawContainer(raw), &info), EFI_UNSUPPORTED);
  EXPECT_EQ(BootModeFlags & kBootModeSlide, 0u);
}

TEST(Container, UniversalFileGivesTheSliceOfTheProcessorSubtype) {
  std::vector<uint8_t> generic = Container(Kernel(0x3, 3));
  std::vector<uint8_t> haswell = Container(Kernel(0x8, 8), Method::kLzss);
  for (bool generic_first : {true, false}) {
    std::vector<macho::Slice> slices = {{0x01000007, 3, generic}, {0x01000007, 8, haswell}};
    if (!generic_first) std::swap(slices[0], slices[1]);
    std::vector<uint8_t> file = macho::WriteUniversal(slices);
    for (uint32_t subtype : {3u, 8u}) {
      SCOPED_TRACE(testing::Message() << "generic first " << generic_first << ", subtype " << subtype);
      TestFirmware fw;
      CpuSubtype = subtype;
      KernelImageInfo info;
      ASSERT_EQ(LoadFromMemory(file, &info), EFI_SUCCESS);
      EXPECT_EQ(info.EntryPoint, kCode + subtype);
    }
  }
}

TEST(Container, CompressedSizeMayNotReachIntoTheNextSlice) {
  TestFirmware fw;
  kernel_cache::RawContainer raw = RawFor(Kernel());
  std::vector<uint8_t> container = kernel_cache::WriteRawContainer(raw);
  // The slice ends early but the file goes on with the rest of the container.
  std::vector<uint8_t> file = macho::WriteUniversal({{0x01000007, 3, container}});
  uint32_t cut = uint32_t(container.size() - 16);
  StoreBe32(file.data() + 8 + 12, cut);  // the slice's size in the universal header
  KernelImageInfo info;
  EXPECT_EQ(LoadFromMemory(file, &info), EFI_NOT_FOUND);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

TEST(Container, UniversalFileWithoutAnX86Slice) {
  TestFirmware fw;
  std::vector<uint8_t> file = macho::WriteUniversal({{7, 3, Container(Kernel())}});
  KernelImageInfo info;
  EXPECT_EQ(LoadFromMemory(file, &info), EFI_LOAD_ERROR);
}
