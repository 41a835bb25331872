#include "kernel/macho_walker.h"

#include "kernel/macho_format.h"

namespace {

EFI_STATUS CommandAt(ByteSpan area, UINTN offset, UINT32 index, MachOCommand* command) {
  UINT32 code = 0, size = 0;
  if (!area.ReadLe32(offset + kLoadCommandCode, &code) || !area.ReadLe32(offset + kLoadCommandSize, &size)) {
    return EFI_LOAD_ERROR;
  }
  // A size below the header would never advance the walk.
  if (size < kLoadCommandHeaderSize || !area.Contains(offset, size)) return EFI_LOAD_ERROR;
  *command = MachOCommand{offset, index, code, size};
  return EFI_SUCCESS;
}

bool SegmentFrom(ByteSpan area, INT32 count, EFI_STATUS status, MachOCommand* command) {
  while (!EFI_ERROR(status)) {
    if (command->Code == kLcSegment64) return command->Size >= kSegmentCommandSize;
    status = MachONextCommand(area, count, *command, command);
  }
  return false;
}

bool SectionInside(const MachOCommand& segment, ByteSpan area, UINT32 index, UINTN* section) {
  UINT32 sections = 0;
  if (!area.ReadLe32(segment.Offset + kSegmentSectionCount, &sections) || index >= sections) return false;
  UINT64 start = kSegmentCommandSize + UINT64(index) * kSectionRecordSize;
  if (start + kSectionRecordSize > segment.Size) return false;
  *section = segment.Offset + start;
  return true;
}

}  // namespace

EFI_STATUS MachOFirstCommand(ByteSpan area, INT32 count, MachOCommand* command) {
  if (count <= 0) return EFI_NOT_FOUND;
  return CommandAt(area, 0, 0, command);
}

EFI_STATUS MachONextCommand(ByteSpan area, INT32 count, const MachOCommand& current, MachOCommand* next) {
  if (count <= 0 || current.Index + 1 >= UINT32(count)) return EFI_NOT_FOUND;
  return CommandAt(area, current.Offset + current.Size, current.Index + 1, next);
}

bool MachOHeaderCommands(ByteSpan image, ByteSpan* area, INT32* count) {
  UINT32 magic = 0, commands = 0, size = 0;
  if (!image.ReadLe32(kMachOHeaderMagic, &magic) || magic != kMachOMagic64) return false;
  if (!image.ReadLe32(kMachOHeaderCommandCount, &commands) || !image.ReadLe32(kMachOHeaderCommandsSize, &size)) {
    return false;
  }
  if (!image.Slice(kMachOHeaderSize, size, area)) return false;
  *count = static_cast<INT32>(commands);
  return true;
}

bool MachOFirstSegment(ByteSpan area, INT32 count, MachOCommand* segment) {
  return SegmentFrom(area, count, MachOFirstCommand(area, count, segment), segment);
}

bool MachONextSegment(ByteSpan area, INT32 count, const MachOCommand& after, MachOCommand* segment) {
  return SegmentFrom(area, count, MachONextCommand(area, count, after, segment), segment);
}

bool MachOFirstSection(ByteSpan area, const MachOCommand& segment, UINTN* section) {
  return SectionInside(segment, area, 0, section);
}

bool MachONextSection(ByteSpan area, const MachOCommand& segment, UINTN section, UINTN* next) {
  if (section < segment.Offset + kSegmentCommandSize) return false;
  UINTN index = (section - segment.Offset - kSegmentCommandSize) / kSectionRecordSize;
  if (index >= 0xFFFFFFFFu) return false;
  return SectionInside(segment, area, static_cast<UINT32>(index + 1), next);
}

bool MachONameIs(const UINT8* field, const char* name) {
  for (UINTN i = 0; i < kSegmentNameLength; ++i) {
    if (field[i] != static_cast<UINT8>(name[i])) return false;
    if (name[i] == 0) return true;
  }
  return name[kSegmentNameLength] == 0;
}
