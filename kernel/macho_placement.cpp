#include "kernel/macho_placement.h"

#include "config/kernel_slide.h"
#include "flags/boot_mode.h"
#include "kernel/macho_format.h"
#include "kernel/macho_load.h"
#include "kernel/macho_walker.h"
#include "memory/memory.h"

namespace {

struct PlannedSegment {
  UINT64 address;  // with the slide
  UINT64 virtual_size;
};

UINT64 PageRound(UINT64 size) { return (size + EFI_PAGE_SIZE - 1) & ~UINT64(EFI_PAGE_SIZE - 1); }

// The loader's slide for this header: the boot's slide, unless the image cannot move.
UINT64 SlideFor(ByteSpan prefix) {
  UINT32 flags = 0;
  if (!(BootModeFlags & kBootModeSlide) || !prefix.ReadLe32(kMachOHeaderFlags, &flags)) return 0;
  return (flags & kMachOFlagPositionIndependent) ? KernelSlide : 0;
}

// Every segment the loader will load, each starting in the file where the one before it
// ends in memory, from offset 0 on, with one distance from file to physical memory.
bool PlanSegments(ByteSpan prefix, UINT64 file_size, PlannedSegment (&plan)[kMaxPlacedSegments], UINT32* count,
                  UINT64* base) {
  ByteSpan area;
  INT32 commands = 0;
  if (!MachOHeaderCommands(prefix, &area, &commands)) return false;
  const UINT64 slide = SlideFor(prefix);
  UINT64 next_offset = 0;
  *count = 0;
  MachOCommand command;
  for (bool more = MachOFirstSegment(area, commands, &command); more;
       more = MachONextSegment(area, commands, command, &command)) {
    const UINT8* fields = area.data() + command.Offset;
    UINT64 address = LoadLe64(fields + kSegmentAddress);
    UINT64 virtual_size = LoadLe64(fields + kSegmentVirtualSize);
    UINT64 file_offset = LoadLe64(fields + kSegmentFileOffset);
    UINT64 file_size = LoadLe64(fields + kSegmentFileSize);
    if (virtual_size == 0) continue;  // the loader skips it too
    if (file_size == 0 || *count == kMaxPlacedSegments || virtual_size > 0xFFFFF000ull) return false;
    UINT64 slid = address + slide;
    if (slid < address || !MachOFitsKernelWindow(slid, virtual_size)) return false;
    UINT64 physical = KernelToPhysical(slid);
    if (file_offset != next_offset || physical < file_offset) return false;
    if (*count == 0) *base = physical - file_offset;
    if (physical - file_offset != *base) return false;
    next_offset = file_offset + PageRound(virtual_size);
    plan[(*count)++] = PlannedSegment{slid, virtual_size};
  }
  // Every byte of the file must land in a segment's memory.
  return *count > 0 && next_offset >= file_size;
}

}  // namespace

bool MachOPlaceImage(ByteSpan prefix, UINT64 file_size, KernelPlacement* placement) {
  *placement = KernelPlacement();
  UINT64 low = 0, high = 0;
  KernelRegionBounds(&low, &high);
  if (high != 0) return false;  // only an empty region can be emptied again after a failure
  PlannedSegment plan[kMaxPlacedSegments];
  UINT32 count = 0;
  UINT64 base = 0;
  if (!PlanSegments(prefix, file_size, plan, &count, &base)) return false;
  for (UINT32 i = 0; i < count; ++i) {
    UINT64 size = plan[i].virtual_size;
    UINT64 at = plan[i].address;
    UINT64 physical = KernelMemoryAllocate(&size, &at);
    if (physical == 0) {
      MachOUnplaceImage(placement);
      return false;
    }
    placement->Blocks[placement->Count++] = KernelPlacement::Block{physical, size};
    if (physical != KernelToPhysical(plan[i].address) || size != PageRound(plan[i].virtual_size)) {
      MachOUnplaceImage(placement);
      return false;
    }
  }
  placement->Base = reinterpret_cast<UINT8*>(static_cast<UINTN>(base));
  return true;
}

void MachOUnplaceImage(KernelPlacement* placement) {
  for (UINT32 i = placement->Count; i > 0; --i) {
    const KernelPlacement::Block& block = placement->Blocks[i - 1];
    (void)PagesFree(block.Physical, block.Size / EFI_PAGE_SIZE);
  }
  if (placement->Count > 0) KernelRegionReset();
  *placement = KernelPlacement();
}

const KernelPlacement::Block* MachOPlacedBlock(const KernelPlacement& placement, UINT32 index, UINT64 physical,
                                               UINT64 size) {
  if (index >= placement.Count) return nullptr;
  const KernelPlacement::Block& block = placement.Blocks[index];
  return block.Physical == physical && block.Size == size ? &block : nullptr;
}
