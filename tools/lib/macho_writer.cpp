#include "tools/lib/macho_writer.h"

#include <algorithm>

#include "kernel/macho_format.h"

namespace macho {
namespace {

uint64_t RoundUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

void PutName(std::vector<uint8_t>* bytes, size_t offset, const std::string& name) {
  for (size_t i = 0; i < name.size() && i < kSegmentNameLength; ++i) (*bytes)[offset + i] = uint8_t(name[i]);
}

bool IsText(const Segment& segment) { return segment.name == "__TEXT"; }

// The segment list as written: the caller's, then "__LINKEDIT" when asked for.
struct Placed {
  Segment segment;
  uint64_t file_offset = 0;
  uint64_t file_size = 0;
  uint64_t contents_at = 0;  // where the contents start inside the segment (header space for __TEXT)
  uint64_t virtual_size = 0;
};

std::vector<uint8_t> LinkeditContents(const Image& image, Layout* layout) {
  std::vector<uint8_t> data;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) data.push_back(uint8_t(v >> (8 * i)));
  };
  for (const Relocation& r : image.local_relocations) {
    put32(uint32_t(r.address));
    put32(r.info);
  }
  layout->symbols = data.size();
  std::string strings(1, '\0');
  for (const Symbol& s : image.symbols) {
    put32(uint32_t(strings.size()));
    data.push_back(s.type);
    data.push_back(s.section);
    data.push_back(uint8_t(s.description));
    data.push_back(uint8_t(s.description >> 8));
    put32(uint32_t(s.value));
    put32(uint32_t(s.value >> 32));
    strings += s.name;
    strings.push_back('\0');
  }
  strings.resize(RoundUp(strings.size(), 8), '\0');
  layout->strings = data.size();
  data.insert(data.end(), strings.begin(), strings.end());
  return data;
}

size_t CommandsSize(const std::vector<Placed>& placed, bool with_linkedit) {
  size_t size = kThreadCommandSize64;
  for (const Placed& p : placed) size += kSegmentCommandSize + p.segment.sections.size() * kSectionRecordSize;
  if (with_linkedit) size += kSymtabCommandSize + kDysymtabCommandSize;
  return size;
}

// File offsets: "__TEXT" at 0 around the header, the others page-aligned after it in order.
bool PlaceSegments(const Image& image, std::vector<Placed>* placed, size_t header_end, std::string* error) {
  bool has_text = std::any_of(placed->begin(), placed->end(), [](const Placed& p) { return IsText(p.segment); });
  if (has_text && image.header_space < header_end) {
    *error = "the header and load commands do not fit the header space of __TEXT";
    return false;
  }
  uint64_t cursor = has_text ? 0 : RoundUp(header_end, kPageSize);
  for (Placed& p : *placed) {
    if (!IsText(p.segment)) continue;
    p.contents_at = image.header_space;
    p.file_size = image.header_space + p.segment.contents.size();
    cursor = RoundUp(p.file_size, kPageSize);
  }
  for (Placed& p : *placed) {
    if (IsText(p.segment)) continue;
    p.file_offset = p.segment.contents.empty() ? 0 : cursor;
    p.file_size = p.segment.contents.size();
    cursor = RoundUp(cursor + p.file_size, kPageSize);
  }
  for (Placed& p : *placed) {
    p.virtual_size = p.segment.virtual_size ? p.segment.virtual_size : RoundUp(p.file_size, kPageSize);
  }
  return true;
}

size_t WriteSegmentCommand(std::vector<uint8_t>* out, size_t at, const Placed& p) {
  const Segment& s = p.segment;
  PutLe32(out, at + kLoadCommandCode, kLcSegment64);
  PutLe32(out, at + kLoadCommandSize, uint32_t(kSegmentCommandSize + s.sections.size() * kSectionRecordSize));
  PutName(out, at + kSegmentName, s.name);
  PutLe64(out, at + kSegmentAddress, s.address);
  PutLe64(out, at + kSegmentVirtualSize, p.virtual_size);
  PutLe64(out, at + kSegmentFileOffset, p.file_offset);
  PutLe64(out, at + kSegmentFileSize, p.file_size);
  PutLe32(out, at + kSegmentMaxProtection, s.max_protection);
  PutLe32(out, at + kSegmentInitProtection, s.init_protection);
  PutLe32(out, at + kSegmentSectionCount, uint32_t(s.sections.size()));
  size_t section_at = at + kSegmentCommandSize;
  for (const Section& section : s.sections) {
    PutName(out, section_at + kSectionName, section.name);
    PutName(out, section_at + kSectionSegmentName, s.name);
    PutLe64(out, section_at + kSectionAddress, s.address + p.contents_at + section.offset);
    PutLe64(out, section_at + kSectionSize, section.size);
    PutLe32(out, section_at + kSectionFileOffset, uint32_t(p.file_offset + p.contents_at + section.offset));
    PutLe32(out, section_at + kSectionAlignment, section.alignment);
    PutLe32(out, section_at + kSectionFlags, section.flags);
    section_at += kSectionRecordSize;
  }
  return section_at;
}

size_t WriteLinkeditCommands(std::vector<uint8_t>* out, size_t at, const Image& image, const Placed& linkedit,
                             Layout* layout) {
  uint32_t base = uint32_t(linkedit.file_offset);
  layout->symtab_command = at;
  PutLe32(out, at + kLoadCommandCode, kLcSymtab);
  PutLe32(out, at + kLoadCommandSize, kSymtabCommandSize);
  PutLe32(out, at + kSymtabSymbolOffset, image.symbols.empty() ? 0 : base + uint32_t(layout->symbols));
  PutLe32(out, at + kSymtabSymbolCount, uint32_t(image.symbols.size()));
  PutLe32(out, at + kSymtabStringOffset, base + uint32_t(layout->strings));
  PutLe32(out, at + kSymtabStringSize, uint32_t(linkedit.file_size - layout->strings));
  at += kSymtabCommandSize;
  layout->dysymtab_command = at;
  PutLe32(out, at + kLoadCommandCode, kLcDysymtab);
  PutLe32(out, at + kLoadCommandSize, kDysymtabCommandSize);
  PutLe32(out, at + 20, uint32_t(image.symbols.size()));  // every symbol counts as an external definition
  if (!image.local_relocations.empty()) PutLe32(out, at + kDysymtabLocalRelocationOffset, base);
  PutLe32(out, at + kDysymtabLocalRelocationCount, uint32_t(image.local_relocations.size()));
  return at + kDysymtabCommandSize;
}

size_t WriteThreadCommand(std::vector<uint8_t>* out, size_t at, const Image& image) {
  PutLe32(out, at + kLoadCommandCode, kLcUnixThread);
  PutLe32(out, at + kLoadCommandSize, kThreadCommandSize64);
  PutLe32(out, at + kThreadFlavor, image.thread_flavor);
  PutLe32(out, at + kThreadCount, kThreadStateWords64);
  PutLe64(out, at + kThreadInstructionPointer, image.entry);
  return at + kThreadCommandSize64;
}

}  // namespace

bool WriteImage(const Image& image, std::vector<uint8_t>* out, std::string* error, Layout* layout_out) {
  Layout layout;
  std::vector<Placed> placed;
  for (const Segment& s : image.segments) placed.push_back(Placed{s});
  if (image.with_linkedit) {
    Segment linkedit;
    linkedit.name = "__LINKEDIT";
    linkedit.contents = LinkeditContents(image, &layout);
    linkedit.init_protection = linkedit.max_protection = 1;
    for (const Placed& p : placed) {
      uint64_t size = p.segment.virtual_size ? p.segment.virtual_size
                      : IsText(p.segment)    ? image.header_space + p.segment.contents.size()
                                             : p.segment.contents.size();
      linkedit.address = std::max(linkedit.address, RoundUp(p.segment.address + size, kPageSize));
    }
    layout.linkedit_address = linkedit.address;
    placed.push_back(Placed{linkedit});
  }
  size_t commands_size = CommandsSize(placed, image.with_linkedit);
  if (!PlaceSegments(image, &placed, kMachOHeaderSize + commands_size, error)) return false;
  uint64_t file_end = kMachOHeaderSize + commands_size;
  for (const Placed& p : placed) file_end = std::max(file_end, p.file_offset + p.file_size);
  out->assign(file_end, 0);
  for (const Placed& p : placed) {
    std::copy(p.segment.contents.begin(), p.segment.contents.end(), out->begin() + p.file_offset + p.contents_at);
  }
  PutLe32(out, kMachOHeaderMagic, kMachOMagic64);
  PutLe32(out, kMachOHeaderCpuType, image.cpu_type);
  PutLe32(out, kMachOHeaderCpuSubtype, image.cpu_subtype);
  PutLe32(out, kMachOHeaderFileType, image.file_type);
  PutLe32(out, kMachOHeaderCommandCount, uint32_t(placed.size() + 1 + (image.with_linkedit ? 2 : 0)));
  PutLe32(out, kMachOHeaderCommandsSize, uint32_t(commands_size));
  PutLe32(out, kMachOHeaderFlags, image.flags);
  size_t at = kMachOHeaderSize;
  for (const Placed& p : placed) {
    layout.segment_commands.push_back(at);
    layout.segment_file_offsets.push_back(p.file_offset);
    at = WriteSegmentCommand(out, at, p);
  }
  if (image.with_linkedit) {
    layout.relocations = placed.back().file_offset;
    at = WriteLinkeditCommands(out, at, image, placed.back(), &layout);
    layout.symbols += placed.back().file_offset;
    layout.strings += placed.back().file_offset;
  }
  layout.thread_command = at;
  WriteThreadCommand(out, at, image);
  if (layout_out) *layout_out = layout;
  return true;
}

bool WrapFlatBinary(const std::vector<uint8_t>& code, const FlatKernel& kernel, Image* image, std::string* error) {
  const uint64_t code_address = kernel.base + kPageSize;
  const uint64_t entry = kernel.entry ? kernel.entry : code_address;
  if (kernel.base % kPageSize != 0) {
    *error = "the base address must be page-aligned";
    return false;
  }
  if (code.empty() || entry < code_address || entry - code_address >= code.size()) {
    *error = "the entry point must lie inside the code";
    return false;
  }
  *image = Image();
  Segment text;
  text.name = "__TEXT";
  text.address = kernel.base;
  text.contents = code;
  text.sections.push_back(Section{"__text", 0, code.size(), 4, 0x80000400});  // instructions only
  Segment data;
  data.name = "__DATA";
  data.address = RoundUp(code_address + code.size(), kPageSize);
  data.contents.assign(8, 0);
  for (int i = 0; i < 8; ++i) data.contents[i] = uint8_t(kernel.base >> (8 * i));
  data.init_protection = 3;
  data.max_protection = 3;
  data.sections.push_back(Section{"__data", 0, 8, 3});
  image->segments = {text, data};
  image->entry = entry;
  image->symbols = {{"_kernel_header", 0x0F, 1, 0, kernel.base},
                    {"_kernel_entry", 0x0F, 1, 0, entry},
                    {"_kernel_header_pointer", 0x0F, 2, 0, data.address},
                    {kernel.source_name, 0x64, 0, 0, 0}};
  image->local_relocations = {Relocation{0, 0x06000002}};  // the word at the start of __DATA (section 2)
  return true;
}

std::vector<uint8_t> WriteUniversal(const std::vector<Slice>& slices) {
  std::vector<uint8_t> out(8 + 20 * slices.size(), 0);
  auto put_be = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (24 - 8 * i));
  };
  put_be(0, 0xCAFEBABE);
  put_be(4, uint32_t(slices.size()));
  for (size_t i = 0; i < slices.size(); ++i) {
    size_t offset = RoundUp(out.size(), kPageSize);
    size_t entry = 8 + 20 * i;
    put_be(entry, slices[i].cpu_type);
    put_be(entry + 4, slices[i].cpu_subtype);
    put_be(entry + 8, uint32_t(offset));
    put_be(entry + 12, uint32_t(slices[i].bytes.size()));
    put_be(entry + 16, 12);  // 4096-byte alignment, as a power of two
    out.resize(offset, 0);
    out.insert(out.end(), slices[i].bytes.begin(), slices[i].bytes.end());
  }
  return out;
}

void PutLe32(std::vector<uint8_t>* bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = uint8_t(value >> (8 * i));
}
void PutLe64(std::vector<uint8_t>* bytes, size_t offset, uint64_t value) {
  PutLe32(bytes, offset, uint32_t(value));
  PutLe32(bytes, offset + 4, uint32_t(value >> 32));
}
uint32_t GetLe32(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= uint32_t(bytes[offset + i]) << (8 * i);
  return v;
}
uint64_t GetLe64(const std::vector<uint8_t>& bytes, size_t offset) {
  return GetLe32(bytes, offset) | (uint64_t(GetLe32(bytes, offset + 4)) << 32);
}

}  // namespace macho
