// A small kernel image and helpers shared by the Mach-O loader tests.
#pragma once

#include <cstdint>
#include <vector>

#include "kernel/kernel_image_info.h"
#include "lib/mem.h"
#include "tools/lib/macho_writer.h"

namespace macho_test {

using macho::GetLe32;
using macho::GetLe64;
using macho::PutLe32;
using macho::PutLe64;

constexpr uint64_t kBase = 0xFFFFFF8002000000ull;  // physical 0x2000000
constexpr uint64_t kSlide = 0x200000;
constexpr uint64_t kEntry = kBase + 0x1000;
constexpr uint64_t kDataAddress = kBase + 0x2000;
constexpr uint64_t kLinkeditAddress = kBase + 0x3000;
constexpr uint64_t kUnrelocatedWord = 0x1122334455667788ull;

// A segment with no file contents of its own yet.
macho::Segment NewSegment(const char* name, uint64_t address, uint64_t virtual_size = 0, uint32_t init_protection = 5);

// __TEXT (header page, then 0x200 bytes of code), __DATA (a relocated pointer to the entry,
// then a plain word), __LINKEDIT; symbols "_start" (0x0F), "_debug" (0x24), "_data" (0x0F).
macho::Image SampleKernel();
std::vector<uint8_t> Write(const macho::Image& image, macho::Layout* layout = nullptr);
std::vector<uint8_t> SampleKernelFile(macho::Layout* layout = nullptr);

// Runs the loader over a memory file with a zeroed record.
EFI_STATUS Load(const std::vector<uint8_t>& file, KernelImageInfo* info);
EFI_STATUS Load(const std::vector<uint8_t>& file);

// Turns the slide on, as the boot options would.
void ChooseSlide(uint64_t slide);

// The loaded bytes at a kernel address (host memory at its physical address).
uint8_t* KernelMemory(uint64_t kernel_address);
uint64_t KernelWord(uint64_t kernel_address);

// A symbol's value as it lies in the loaded "__LINKEDIT".
uint64_t LoadedSymbolValue(const macho::Layout& layout, uint64_t slide, int index);

}  // namespace macho_test
