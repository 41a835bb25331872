// Decompressing a kernel straight into its place: when every segment of a thin 64-bit image
// lies in memory at one fixed distance from its bytes in the file, one after the other, and
// their memory covers the whole file, the file can be decompressed into the kernel region
// itself. Loading the segments then copies nothing (a kernel of tens of MiB would otherwise be
// written twice).
#pragma once

#include "efi/types.h"
#include "lib/span.h"

constexpr UINT32 kMaxPlacedSegments = 16;

struct KernelPlacement {
  UINT8* Base = nullptr;  // where the file's first byte goes; null while nothing is placed
  UINT32 Count = 0;
  struct Block {
    UINT64 Physical;
    UINT64 Size;  // whole pages
  } Blocks[kMaxPlacedSegments];
};

// Given the file's first bytes (at least the header and its load commands) and its size,
// takes the kernel region pages of every segment, in command order and with the sizes the
// loader takes them, under the slide the loader will use. False, with nothing taken, when the
// image does not fit that shape, when the region already holds anything, or when a page
// allocation fails: the caller then decompresses into a buffer and loads as usual.
[[nodiscard]] bool MachOPlaceImage(ByteSpan prefix, UINT64 file_size, KernelPlacement* placement);

// Gives back the pages of a placement whose load failed and leaves the region empty again.
void MachOUnplaceImage(KernelPlacement* placement);

// The segment's block when a placement holds one at `physical` of `size` bytes (whole pages)
// as the `index`th segment; null otherwise.
const KernelPlacement::Block* MachOPlacedBlock(const KernelPlacement& placement, UINT32 index, UINT64 physical,
                                               UINT64 size);
