// Every size, offset and count the file supplies is checked before use: a table of single
// field corruptions, each rejected cleanly and leaving only kernel pages behind.
#include <gtest/gtest.h>

#include <functional>

#include "flags/boot_mode.h"
#include "memory/memory.h"
#include "kernel/macho_format.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/macho_test_support.h"

using namespace macho_test;

namespace {

struct Corruption {
  const char* what;
  bool sliding;
  std::function<void(std::vector<uint8_t>*, const macho::Layout&)> apply;
  EFI_STATUS expected = EFI_LOAD_ERROR;
};

size_t Text(const macho::Layout& l) { return l.segment_commands[0]; }
size_t Data(const macho::Layout& l) { return l.segment_commands[1]; }
size_t Linkedit(const macho::Layout& l) { return l.segment_commands.back(); }

std::vector<Corruption> Corruptions() {
  using F = std::vector<uint8_t>*;
  using L = const macho::Layout&;
  return {
      {"commands size past the slice", false, [](F f, L) { PutLe32(f, kMachOHeaderCommandsSize, f->size()); }},
      {"command count past the commands", false,
       [](F f, L) { PutLe32(f, kMachOHeaderCommandCount, GetLe32(*f, kMachOHeaderCommandCount) + 1); }},
      {"negative command count: no entry point", false, [](F f, L) { PutLe32(f, kMachOHeaderCommandCount, ~0u); }},
      {"command size 0", false, [](F f, L l) { PutLe32(f, Data(l) + kLoadCommandSize, 0); }},
      {"command size past the area", false, [](F f, L l) { PutLe32(f, l.thread_command + kLoadCommandSize, 0x1000); }},
      {"segment command shorter than a segment", false,
       [](F f, L l) { PutLe32(f, Data(l) + kLoadCommandSize, 8); }},
      {"segment file offset past the slice", false,
       [](F f, L l) { PutLe64(f, Data(l) + kSegmentFileOffset, f->size() + 0x1000); }},
      {"segment file offset wrapping the position", false,
       [](F f, L l) { PutLe64(f, Data(l) + kSegmentFileOffset, ~0ull - 4); }},
      {"virtual size beyond the kernel window", false,
       [](F f, L l) { PutLe64(f, Data(l) + kSegmentVirtualSize, 0x40000000); }},
      {"virtual size of 2^64 - 1", false, [](F f, L l) { PutLe64(f, Data(l) + kSegmentVirtualSize, ~0ull); }},
      {"address wrapping with the slide", true, [](F f, L l) { PutLe64(f, Data(l) + kSegmentAddress, ~0ull - 0x1000); }},
      {"segment end wrapping 2^64", false,
       [](F f, L l) { PutLe64(f, Data(l) + kSegmentAddress, 0xFFFFFFFFFFFFF000ull); }},
      {"thread command too short for rip", false,
       [](F f, L l) { PutLe32(f, l.thread_command + kLoadCommandSize, 100); }},
      {"entry outside every segment", false,
       [](F f, L l) { PutLe64(f, l.thread_command + kThreadInstructionPointer, kBase + 0x100000); }},
      {"no thread command", false, [](F f, L l) { PutLe32(f, l.thread_command, 0x80000028); }},
      {"symtab command too short", true, [](F f, L l) { PutLe32(f, l.symtab_command + kLoadCommandSize, 12); }},
      {"symbols before __LINKEDIT", true,
       [](F f, L l) { PutLe32(f, l.symtab_command + kSymtabSymbolOffset, uint32_t(Linkedit(l) - 16)); }},
      {"symbols past __LINKEDIT", true,
       [](F f, L l) { PutLe32(f, l.symtab_command + kSymtabSymbolOffset, uint32_t(l.symbols + 0x1000)); }},
      {"symbol count past __LINKEDIT", true,
       [](F f, L l) { PutLe32(f, l.symtab_command + kSymtabSymbolCount, 0xFFFFFFFF); }},
      {"dysymtab command too short", true,
       [](F f, L l) { PutLe32(f, l.dysymtab_command + kLoadCommandSize, 72); }},
      {"relocations past __LINKEDIT", true,
       [](F f, L l) { PutLe32(f, l.dysymtab_command + kDysymtabLocalRelocationOffset, uint32_t(l.relocations + 0xFF9)); }},
      {"relocation count past __LINKEDIT", true,
       [](F f, L l) { PutLe32(f, l.dysymtab_command + kDysymtabLocalRelocationCount, 0x20000000); }},
      {"relocated word past every segment", true, [](F f, L l) { PutLe32(f, l.relocations, 0x10000); }},
      {"relocated word straddling a segment end", true, [](F f, L l) { PutLe32(f, l.relocations, 0xFFC); }},
      {"relocated word far below the image", true, [](F f, L l) { PutLe32(f, l.relocations, 0x80000000); }},
  };
}

}  // namespace

TEST(MachOBounds, EveryCorruptFieldIsRejectedCleanly) {
  macho::Layout layout;
  const std::vector<uint8_t> good = SampleKernelFile(&layout);
  for (const Corruption& c : Corruptions()) {
    SCOPED_TRACE(c.what);
    TestFirmware fw;
    if (c.sliding) ChooseSlide(kSlide);
    std::vector<uint8_t> file = good;
    c.apply(&file, layout);
    EXPECT_EQ(Load(file), c.expected);
    EXPECT_EQ(TrackedAllocationCount(), fw.LivePageRuns()) << "nothing but kernel pages left tracked";
  }
}

TEST(MachOBounds, SegmentDataReadStopsAtTheEndOfItsSlice) {
  // The first slice's __DATA claims more file bytes than the slice holds; the bytes after it
  // belong to the second slice and must not be copied.
  macho::Layout layout;
  macho::Image image = SampleKernel();
  image.with_linkedit = false;
  image.local_relocations.clear();
  image.symbols.clear();
  std::vector<uint8_t> first = Write(image, &layout);
  PutLe64(&first, Data(layout) + kSegmentVirtualSize, 0x2000);
  PutLe64(&first, Data(layout) + kSegmentFileSize, 0x2000);
  std::vector<uint8_t> file = macho::WriteUniversal({{0x01000007, 3, first}, {0x01000007, 8, std::vector<uint8_t>(0x3000, 0x5A)}});
  TestFirmware fw;
  CpuSubtype = 3;
  ASSERT_EQ(Load(file), EFI_SUCCESS);
  EXPECT_EQ(KernelWord(kDataAddress), kEntry);
  EXPECT_EQ(KernelMemory(kDataAddress)[0x40], 0) << "nothing from the next slice";
  EXPECT_EQ(KernelMemory(kDataAddress)[0x1FFF], 0);
}

TEST(MachOBounds, HeaderCopyWithImpossibleSectionCountSlidesOnlyWhatFits) {
  TestFirmware fw;
  ChooseSlide(kSlide);
  macho::Layout layout;
  std::vector<uint8_t> file = SampleKernelFile(&layout);
  PutLe32(&file, Text(layout) + kSegmentSectionCount, 0x7FFFFFFF);
  ASSERT_EQ(Load(file), EFI_SUCCESS) << "the file's own command stays valid: its size bounds the sections";
  EXPECT_EQ(LoadLe64(KernelMemory(kBase + kSlide) + Text(layout) + kSegmentAddress), kBase + kSlide);
}
