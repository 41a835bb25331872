// What one kernel load carries between its load commands (private to the Mach-O loader).
#pragma once

#include "efi/types.h"
#include "files/boot_file.h"
#include "kernel/kernel_image_info.h"
#include "kernel/macho_placement.h"
#include "kernel/macho_walker.h"
#include "lib/span.h"

struct MachOLoad {
  BootFile* File;
  UINT64 SliceOffset;
  UINT64 SliceSize;
  KernelImageInfo* Info;
  bool Sliding;
  UINT64 Slide;
  ByteSpan Commands;       // the load commands, copied from the file
  INT32 CommandCount;
  MachOCommand Current;    // the command being acted on; every segment before it is loaded
  bool HaveEntry;
  // The first segment loaded whose initial protection allows writing: relocations count
  // from its address.
  UINT8* Writable;
  UINT64 WritableAddress;
  UINT64 WritableSize;
  // The symbol table and the relocations lie in "__LINKEDIT".
  UINT8* Linkedit;
  UINT64 LinkeditSize;
  UINT32 LinkeditFileOffset;
  // When the file was decompressed into its place: the segments' pages, taken in command
  // order, already hold their bytes (null for an ordinary load).
  const KernelPlacement* Placement;
  UINT32 PlacedSegments;  // segments loaded so far under Placement
};

// Copies one LC_SEGMENT_64 into kernel memory and widens the image bounds.
[[nodiscard]] EFI_STATUS MachOLoadSegment(MachOLoad* load, const MachOCommand& command);
// True when [address, address + size) fits the kernel window: kernel addresses reach
// physical memory through their low 30 bits, and the end must not wrap.
bool MachOFitsKernelWindow(UINT64 address, UINT64 size);
// Sliding: symbol values, local relocations, and the header copy inside "__TEXT".
[[nodiscard]] EFI_STATUS MachOSlideSymbols(MachOLoad* load, const MachOCommand& command);
[[nodiscard]] EFI_STATUS MachOSlideLocalRelocations(MachOLoad* load, const MachOCommand& command);
void MachOSlideHeaderCopy(UINT8* memory, UINT64 size, UINT64 slide);
// Memory of [address, address + length) when one segment loaded before the current command
// holds all of it; null otherwise.
UINT8* MachOLoadedMemory(const MachOLoad& load, UINT64 address, UINT64 length);
