// Builds 64-bit Mach-O executables the way kernels are laid out: the header and load
// commands at the start of "__TEXT", further segments after it, and a "__LINKEDIT" segment
// with the local relocations, the symbol table and its strings, described by LC_SYMTAB and
// LC_DYSYMTAB, and an LC_UNIXTHREAD holding the entry point. Also builds universal files.
// Host-only: used by hearthtool, tests and fuzz seeds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace macho {

struct Section {
  std::string name;
  uint64_t offset = 0;  // from the start of the segment's contents
  uint64_t size = 0;
  uint32_t alignment = 4;  // as a power of two
  uint32_t flags = 0;
};

struct Segment {
  std::string name;
  uint64_t address = 0;
  std::vector<uint8_t> contents;  // bytes in the file (after the header, for "__TEXT")
  uint64_t virtual_size = 0;      // 0: the segment's file bytes rounded up to pages
  uint32_t max_protection = 7;
  uint32_t init_protection = 5;
  std::vector<Section> sections;
};

struct Symbol {
  std::string name;
  uint8_t type = 0x0F;  // defined in a section, external
  uint8_t section = 1;
  uint16_t description = 0;
  uint64_t value = 0;
};

// A local relocation: a 64-bit pointer at `address` bytes from the first writable segment.
struct Relocation {
  int32_t address = 0;
  uint32_t info = 0x06000001;  // not PC-relative, 8 bytes, not external, type 0; section 1
};

struct Image {
  uint32_t cpu_type = 0x01000007;
  uint32_t cpu_subtype = 3;
  uint32_t file_type = 2;
  uint32_t flags = 0x200001;  // no undefined symbols, position-independent
  // Segments in load-command order. The one named "__TEXT" starts at file offset 0 and holds
  // the header and load commands; its contents follow at header_space bytes.
  std::vector<Segment> segments;
  uint64_t header_space = 0x1000;
  uint64_t entry = 0;
  uint32_t thread_flavor = 4;
  std::vector<Symbol> symbols;
  std::vector<Relocation> local_relocations;
  bool with_linkedit = true;  // "__LINKEDIT", LC_SYMTAB and LC_DYSYMTAB
};

// Where the writer put things, for tests that patch single fields.
struct Layout {
  std::vector<size_t> segment_commands;  // file offset of each LC_SEGMENT_64, "__LINKEDIT" last
  std::vector<uint64_t> segment_file_offsets;
  size_t symtab_command = 0;
  size_t dysymtab_command = 0;
  size_t thread_command = 0;
  size_t relocations = 0;  // file offset of the relocation records
  size_t symbols = 0;      // file offset of the symbol records
  size_t strings = 0;
  uint64_t linkedit_address = 0;
};

constexpr uint64_t kPageSize = 0x1000;

// The image as file bytes; false with a reason when it cannot be laid out.
bool WriteImage(const Image& image, std::vector<uint8_t>* out, std::string* error, Layout* layout = nullptr);

// A kernel around a flat, position-independent binary, laid out as the probe kernel expects:
// "__TEXT" at `base` (header page, then the code at base + 0x1000, section "__text");
// "__DATA" at the first page after the code, holding one 64-bit word with the address of the
// header (section "__data", under a local relocation so that it follows the slide);
// "__LINKEDIT" with the symbols "_kernel_header", "_kernel_entry", "_kernel_header_pointer"
// (type 0x0F) and a source-file debugging entry (type 0x64); the entry point `entry`.
struct FlatKernel {
  uint64_t base = 0xFFFFFF8002000000ull;
  uint64_t entry = 0;  // 0: the first byte of the code
  std::string source_name = "probe.c";
};
bool WrapFlatBinary(const std::vector<uint8_t>& code, const FlatKernel& kernel, Image* image, std::string* error);

struct Slice {
  uint32_t cpu_type = 0x01000007;
  uint32_t cpu_subtype = 3;
  std::vector<uint8_t> bytes;
};
// A universal (big-endian header) file of the slices, each aligned to 4096 bytes.
std::vector<uint8_t> WriteUniversal(const std::vector<Slice>& slices);

// Little-endian field access for patching written files.
void PutLe32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value);
void PutLe64(std::vector<uint8_t>* bytes, size_t offset, uint64_t value);
uint32_t GetLe32(const std::vector<uint8_t>& bytes, size_t offset);
uint64_t GetLe64(const std::vector<uint8_t>& bytes, size_t offset);

}  // namespace macho
