// Loading slid: addresses, entry, symbols, local relocations and the header copy in __TEXT.
#include <gtest/gtest.h>

#include "flags/boot_mode.h"
#include "kernel/macho_format.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/macho_test_support.h"

using namespace macho_test;

TEST(MachOSlide, MovesSegmentsEntrySymbolsAndRelocatedWords) {
  TestFirmware fw;
  ChooseSlide(kSlide);
  macho::Layout layout;
  std::vector<uint8_t> file = SampleKernelFile(&layout);
  KernelImageInfo info;
  ASSERT_EQ(Load(file, &info), EFI_SUCCESS);
  EXPECT_EQ(info.LowestAddress, kBase + kSlide);
  EXPECT_EQ(info.LowestPhysical, 0x2200000u);
  EXPECT_EQ(info.HighestEnd, kLinkeditAddress + kSlide + 0x1000);
  EXPECT_EQ(info.EntryPoint, kEntry + kSlide);
  EXPECT_EQ(info.EntryPhysical, 0x2201000u);
  EXPECT_EQ(KernelMemory(kEntry + kSlide)[1], 8) << "code copied to the slid address";
  EXPECT_EQ(KernelWord(kDataAddress + kSlide), kEntry + kSlide) << "the local relocation moved the pointer";
  EXPECT_EQ(KernelWord(kDataAddress + kSlide + 8), kUnrelocatedWord);
  EXPECT_EQ(LoadedSymbolValue(layout, kSlide, 0), kEntry + kSlide) << "type 0x0F moves";
  EXPECT_EQ(LoadedSymbolValue(layout, kSlide, 1), kEntry + 0x10) << "debugging type 0x24 stays";
  EXPECT_EQ(LoadedSymbolValue(layout, kSlide, 2), kDataAddress + kSlide);
  EXPECT_NE(BootModeFlags & kBootModeSlide, 0u);
}

TEST(MachOSlide, HeaderCopyInTextCarriesSlidSegmentAndSectionAddresses) {
  TestFirmware fw;
  ChooseSlide(kSlide);
  macho::Layout layout;
  std::vector<uint8_t> file = SampleKernelFile(&layout);
  ASSERT_EQ(Load(file), EFI_SUCCESS);
  const uint8_t* header = KernelMemory(kBase + kSlide);
  for (size_t i = 0; i < layout.segment_commands.size(); ++i) {
    size_t at = layout.segment_commands[i];
    EXPECT_EQ(LoadLe64(header + at + kSegmentAddress), GetLe64(file, at + kSegmentAddress) + kSlide) << i;
    uint32_t sections = GetLe32(file, at + kSegmentSectionCount);
    for (uint32_t s = 0; s < sections; ++s) {
      size_t section = at + kSegmentCommandSize + s * kSectionRecordSize + kSectionAddress;
      EXPECT_EQ(LoadLe64(header + section), GetLe64(file, section) + kSlide) << i << "/" << s;
    }
  }
  EXPECT_EQ(LoadLe64(header + layout.thread_command + kThreadInstructionPointer), kEntry) << "only segments move";
}

TEST(MachOSlide, RelocationsOutsideTheWritableSegmentReachOtherLoadedSegments) {
  TestFirmware fw;
  ChooseSlide(kSlide);
  macho::Image image = SampleKernel();
  // A pointer in __TEXT, below the first writable segment: a negative relocation address.
  StoreLe64(image.segments[0].contents.data() + 0x100, kDataAddress);
  image.local_relocations.push_back(macho::Relocation{-0x2000 + 0x1100, 0x06000001});
  ASSERT_EQ(Load(Write(image)), EFI_SUCCESS);
  EXPECT_EQ(KernelWord(kBase + kSlide + 0x1100), kDataAddress + kSlide);
}

TEST(MachOSlide, NonLocalPointerRelocationFailsOnlyWhileSliding) {
  struct Case {
    const char* what;
    uint32_t info;
  };
  for (const Case& c : {Case{"PC-relative", 0x07000001}, Case{"4 bytes long", 0x04000001},
                        Case{"external", 0x0E000001}, Case{"type 1", 0x16000001}}) {
    SCOPED_TRACE(c.what);
    macho::Image image = SampleKernel();
    image.local_relocations = {macho::Relocation{0, c.info}};
    std::vector<uint8_t> file = Write(image);
    {
      TestFirmware fw;
      EXPECT_EQ(Load(file), EFI_SUCCESS) << "never looked at without a slide";
      EXPECT_EQ(KernelWord(kDataAddress), kEntry);
    }
    {
      TestFirmware fw;
      ChooseSlide(kSlide);
      EXPECT_EQ(Load(file), EFI_LOAD_ERROR);
    }
  }
}

TEST(MachOSlide, TablesNeedLinkeditAndAWritableSegmentLoadedFirst) {
  {
    TestFirmware fw;
    ChooseSlide(kSlide);
    macho::Image image = SampleKernel();
    image.segments[1].init_protection = 1;  // no writable segment: relocations have no base
    EXPECT_EQ(Load(Write(image)), EFI_LOAD_ERROR);
  }
  {
    TestFirmware fw;
    ChooseSlide(kSlide);
    macho::Image image = SampleKernel();
    image.local_relocations.clear();
    macho::Layout layout;
    std::vector<uint8_t> file = Write(image, &layout);
    // Move LC_SYMTAB in front of every segment: "__LINKEDIT" is not loaded when it is read.
    size_t first = layout.segment_commands[0];
    std::vector<uint8_t> symtab(file.begin() + layout.symtab_command, file.begin() + layout.symtab_command + 24);
    file.erase(file.begin() + layout.symtab_command, file.begin() + layout.symtab_command + 24);
    file.insert(file.begin() + first, symtab.begin(), symtab.end());
    EXPECT_EQ(Load(file), EFI_LOAD_ERROR);
  }
}
