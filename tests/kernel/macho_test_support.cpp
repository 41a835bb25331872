#include "tests/kernel/macho_test_support.h"

#include <gtest/gtest.h>

#include "flags/boot_mode.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "kernel/macho_loader.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"

namespace macho_test {

macho::Segment NewSegment(const char* name, uint64_t address, uint64_t virtual_size, uint32_t init_protection) {
  macho::Segment segment;
  segment.name = name;
  segment.address = address;
  segment.virtual_size = virtual_size;
  segment.init_protection = init_protection;
  return segment;
}

macho::Image SampleKernel() {
  macho::Image image;
  macho::Segment text = NewSegment("__TEXT", kBase);
  for (int i = 0; i < 0x200; ++i) text.contents.push_back(uint8_t(i * 7 + 1));
  text.sections.push_back(macho::Section{"__text", 0, 0x200});
  macho::Segment data = NewSegment("__DATA", kDataAddress, 0, 3);
  data.contents.resize(0x40, 0);
  StoreLe64(data.contents.data(), kEntry);
  StoreLe64(data.contents.data() + 8, kUnrelocatedWord);
  data.sections.push_back(macho::Section{"__data", 0, 0x40, 3});
  image.segments = {text, data};
  image.entry = kEntry;
  image.symbols = {{"_start", 0x0F, 1, 0, kEntry}, {"_debug", 0x24, 1, 0, kEntry + 0x10}, {"_data", 0x0F, 2, 0, kDataAddress}};
  image.local_relocations = {macho::Relocation{0, 0x06000002}};
  return image;
}

std::vector<uint8_t> Write(const macho::Image& image, macho::Layout* layout) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(macho::WriteImage(image, &bytes, &error, layout)) << error;
  return bytes;
}

std::vector<uint8_t> SampleKernelFile(macho::Layout* layout) { return Write(SampleKernel(), layout); }

EFI_STATUS Load(const std::vector<uint8_t>& file, KernelImageInfo* info) {
  *info = KernelImageInfo{};
  BootFile boot_file;
  BootFileFromMemory(file.data(), file.size(), &boot_file);
  return LoadKernelFromStream(&boot_file, info);
}

EFI_STATUS Load(const std::vector<uint8_t>& file) {
  KernelImageInfo info;
  return Load(file, &info);
}

void ChooseSlide(uint64_t slide) {
  BootModeFlags |= kBootModeSlide;
  KernelSlide = slide;
}

uint8_t* KernelMemory(uint64_t kernel_address) {
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(KernelToPhysical(kernel_address)));
}

uint64_t KernelWord(uint64_t kernel_address) { return LoadLe64(KernelMemory(kernel_address)); }

uint64_t LoadedSymbolValue(const macho::Layout& layout, uint64_t slide, int index) {
  uint64_t in_linkedit = layout.symbols - layout.segment_file_offsets.back() + 16 * index + 8;
  return KernelWord(layout.linkedit_address + slide + in_linkedit);
}

}  // namespace macho_test
