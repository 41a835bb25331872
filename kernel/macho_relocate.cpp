// Sliding a loaded kernel in place: symbol values, local relocations and the copy of the
// header that "__TEXT" carries. Every offset and count comes from the file, so each table is
// checked against "__LINKEDIT" and each relocated word against the segments loaded so far.
#include "memory/memory.h"
#include "kernel/macho_format.h"
#include "kernel/macho_load.h"
#include "lib/mem.h"

namespace {

// The part of "__LINKEDIT" that holds `count` records of `record_size` bytes at `file_offset`.
UINT8* LinkeditTable(const MachOLoad& load, UINT32 file_offset, UINT32 count, UINTN record_size) {
  if (!load.Linkedit || file_offset < load.LinkeditFileOffset) return nullptr;
  UINT64 start = file_offset - load.LinkeditFileOffset;
  UINT64 length = UINT64(count) * record_size;
  if (start > load.LinkeditSize || length > load.LinkeditSize - start) return nullptr;
  return load.Linkedit + start;
}

bool SegmentHolds(const UINT8* command, UINT64 slide, UINT64 address, UINT64 length, UINT64* offset) {
  UINT64 start = LoadLe64(command + kSegmentAddress) + slide;
  UINT64 size = LoadLe64(command + kSegmentVirtualSize);
  if (address < start || address - start > size || length > size - (address - start)) return false;
  *offset = address - start;
  return true;
}

void SlideSegmentCommand(UINT8* area, ByteSpan view, const MachOCommand& segment, UINT64 slide) {
  UINT8* command = area + segment.Offset;
  StoreLe64(command + kSegmentAddress, LoadLe64(command + kSegmentAddress) + slide);
  UINTN section = 0;
  for (bool more = MachOFirstSection(view, segment, &section); more;
       more = MachONextSection(view, segment, section, &section)) {
    StoreLe64(area + section + kSectionAddress, LoadLe64(area + section + kSectionAddress) + slide);
  }
}

// Most relocated words lie in the first writable segment itself; others must lie in another
// segment already loaded.
UINT8* WritableWord(const MachOLoad& load, INT64 offset) {
  if (offset >= 0 && UINT64(offset) <= load.WritableSize && 8 <= load.WritableSize - UINT64(offset)) {
    return load.Writable + offset;
  }
  return MachOLoadedMemory(load, load.WritableAddress + UINT64(offset), 8);
}

}  // namespace

UINT8* MachOLoadedMemory(const MachOLoad& load, UINT64 address, UINT64 length) {
  MachOCommand command;
  EFI_STATUS status = MachOFirstCommand(load.Commands, load.CommandCount, &command);
  for (; !EFI_ERROR(status) && command.Index < load.Current.Index;
       status = MachONextCommand(load.Commands, load.CommandCount, command, &command)) {
    const UINT8* bytes = load.Commands.data() + command.Offset;
    UINT64 offset = 0;
    if (command.Code != kLcSegment64 || command.Size < kSegmentCommandSize) continue;
    if (!SegmentHolds(bytes, load.Slide, address, length, &offset)) continue;
    UINT64 start = LoadLe64(bytes + kSegmentAddress) + load.Slide;
    return reinterpret_cast<UINT8*>(static_cast<UINTN>(KernelToPhysical(start))) + offset;
  }
  return nullptr;
}

EFI_STATUS MachOSlideSymbols(MachOLoad* load, const MachOCommand& command) {
  if (command.Size < kSymtabCommandSize) return EFI_LOAD_ERROR;
  const UINT8* bytes = load->Commands.data() + command.Offset;
  UINT32 count = LoadLe32(bytes + kSymtabSymbolCount);
  if (count == 0) return EFI_SUCCESS;
  UINT8* symbols = LinkeditTable(*load, LoadLe32(bytes + kSymtabSymbolOffset), count, kSymbolRecordSize);
  if (!symbols) return EFI_LOAD_ERROR;
  for (UINT32 i = 0; i < count; ++i) {
    UINT8* symbol = symbols + UINTN(i) * kSymbolRecordSize;
    if (symbol[kSymbolType] >= kSymbolDebugTypes) continue;
    StoreLe64(symbol + kSymbolValue, LoadLe64(symbol + kSymbolValue) + load->Slide);
  }
  return EFI_SUCCESS;
}

EFI_STATUS MachOSlideLocalRelocations(MachOLoad* load, const MachOCommand& command) {
  if (command.Size < kDysymtabCommandSize) return EFI_LOAD_ERROR;
  const UINT8* bytes = load->Commands.data() + command.Offset;
  UINT32 count = LoadLe32(bytes + kDysymtabLocalRelocationCount);
  if (count == 0) return EFI_SUCCESS;
  if (!load->Writable) return EFI_LOAD_ERROR;
  const UINT8* relocations =
      LinkeditTable(*load, LoadLe32(bytes + kDysymtabLocalRelocationOffset), count, kRelocationRecordSize);
  if (!relocations) return EFI_LOAD_ERROR;
  for (UINT32 i = 0; i < count; ++i) {
    const UINT8* record = relocations + UINTN(i) * kRelocationRecordSize;
    if ((LoadLe32(record + kRelocationInfo) >> 24) != kRelocationLocalPointer64) return EFI_LOAD_ERROR;
    INT64 offset = static_cast<INT32>(LoadLe32(record + kRelocationAddress));
    UINT8* word = WritableWord(*load, offset);
    if (!word) return EFI_LOAD_ERROR;
    StoreLe64(word, LoadLe64(word) + load->Slide);
  }
  return EFI_SUCCESS;
}

void MachOSlideHeaderCopy(UINT8* memory, UINT64 size, UINT64 slide) {
  ByteSpan image(memory, static_cast<UINTN>(size));
  ByteSpan view;
  INT32 count = 0;
  if (!MachOHeaderCommands(image, &view, &count)) return;  // no header in this copy: nothing to move
  UINT8* area = memory + kMachOHeaderSize;
  MachOCommand segment;
  for (bool more = MachOFirstSegment(view, count, &segment); more;
       more = MachONextSegment(view, count, segment, &segment)) {
    SlideSegmentCommand(area, view, segment, slide);
  }
}
