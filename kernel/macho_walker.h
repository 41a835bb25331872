// Walks the load commands of a 64-bit Mach-O image inside a bounded area. Every command is
// checked to lie inside the load-command area before anyone sees it, so callers may read a
// command's fixed fields once they have checked its size.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

struct MachOCommand {
  UINTN Offset;  // from the start of the load-command area
  UINT32 Index;  // place in the command list
  UINT32 Code;
  UINT32 Size;   // at least the 8-byte command header, and inside the area
};

// The first of `count` commands laid out in `area` (a count of 0 or less means none).
// EFI_NOT_FOUND when there is none, EFI_LOAD_ERROR when the command does not fit the area.
[[nodiscard]] EFI_STATUS MachOFirstCommand(ByteSpan area, INT32 count, MachOCommand* command);
// The command after `current`, with the same results.
[[nodiscard]] EFI_STATUS MachONextCommand(ByteSpan area, INT32 count, const MachOCommand& current, MachOCommand* next);

// The load-command area and count of an in-memory image that starts with a 64-bit header;
// false when it does not, or when the header's area does not fit the image.
bool MachOHeaderCommands(ByteSpan image, ByteSpan* area, INT32* count);

// Segment walker: LC_SEGMENT_64 commands in order, and the section records of each. The walk
// stops (false) at the last segment or at the first command that does not fit.
bool MachOFirstSegment(ByteSpan area, INT32 count, MachOCommand* segment);
bool MachONextSegment(ByteSpan area, INT32 count, const MachOCommand& after, MachOCommand* segment);
// Section records, as offsets into the area; none when the section count is 0 or when the
// record would leave its segment command.
bool MachOFirstSection(ByteSpan area, const MachOCommand& segment, UINTN* section);
bool MachONextSection(ByteSpan area, const MachOCommand& segment, UINTN section, UINTN* next);

// True when a 16-byte, NUL-padded name field (segment or section name) reads `name`.
bool MachONameIs(const UINT8* field, const char* name);
