// Loading one LC_SEGMENT_64 into the kernel region.
#include "output/console.h"
#include "memory/memory.h"
#include "kernel/macho_format.h"
#include "kernel/macho_load.h"
#include "lib/mem.h"

namespace {

struct SegmentFields {
  const UINT8* name;
  UINT64 address, virtual_size, file_offset, file_size;
  UINT32 init_protection;
};

SegmentFields ReadFields(const UINT8* command) {
  return SegmentFields{command + kSegmentName,
                       LoadLe64(command + kSegmentAddress),
                       LoadLe64(command + kSegmentVirtualSize),
                       LoadLe64(command + kSegmentFileOffset),
                       LoadLe64(command + kSegmentFileSize),
                       LoadLe32(command + kSegmentInitProtection)};
}

// Copies the segment's file bytes; only its own slice is read, and a short read is accepted.
EFI_STATUS ReadContents(MachOLoad* load, const SegmentFields& segment, UINT8* memory, UINT64* bytes_read) {
  *bytes_read = 0;
  if (segment.file_size == 0) return EFI_SUCCESS;
  UINT64 available = load->SliceSize - segment.file_offset;
  UINT64 wanted = segment.file_size < available ? segment.file_size : available;
  UINT64 n = wanted;
  EFI_STATUS status = BootFileRead(load->File, &n, memory);
  if (EFI_ERROR(status)) {
    ConsolePrint("Read file failed: status %d, buffer size 0x%x\n", static_cast<UINT32>(status),
                 static_cast<UINT32>(segment.file_size));
    return status;
  }
  *bytes_read = n < wanted ? n : wanted;
  return EFI_SUCCESS;
}

void RememberForSliding(MachOLoad* load, const SegmentFields& segment, UINT64 address, UINT8* memory) {
  if (!load->Writable && (segment.init_protection & kVmProtWrite)) {
    load->Writable = memory;
    load->WritableAddress = address;
    load->WritableSize = segment.virtual_size;
  }
  if (!load->Linkedit && MachONameIs(segment.name, "__LINKEDIT")) {
    load->Linkedit = memory;
    load->LinkeditSize = segment.virtual_size;
    load->LinkeditFileOffset = static_cast<UINT32>(segment.file_offset);
  }
  if (MachONameIs(segment.name, "__TEXT")) MachOSlideHeaderCopy(memory, segment.virtual_size, load->Slide);
}

void WidenBounds(KernelImageInfo* info, UINT64 address, UINT64 physical, UINT64 size) {
  if (info->LowestAddress == 0 || address < info->LowestAddress) {
    info->LowestAddress = address;
    info->LowestPhysical = physical;
  }
  if (info->HighestEnd == 0 || info->HighestEnd < address + size) {
    info->HighestEnd = address + size;
    info->HighestPhysical = physical + size;
  }
}

// The segment's pages: taken now, or under a placement taken before decompression, when
// they must be exactly the block the placement took for this segment.
EFI_STATUS SegmentMemory(MachOLoad* load, UINT64 address, UINT64* size, UINT64* physical) {
  if (!load->Placement) {
    UINT64 wanted = *size;
    *physical = KernelMemoryAllocate(size, &address);
    return *physical == 0 || *size < wanted ? EFI_OUT_OF_RESOURCES : EFI_SUCCESS;
  }
  *physical = KernelToPhysical(address);
  UINT64 rounded = (*size + EFI_PAGE_SIZE - 1) & ~UINT64(EFI_PAGE_SIZE - 1);
  if (!MachOPlacedBlock(*load->Placement, load->PlacedSegments, *physical, rounded)) return EFI_LOAD_ERROR;
  ++load->PlacedSegments;
  *size = rounded;
  return EFI_SUCCESS;
}

}  // namespace

bool MachOFitsKernelWindow(UINT64 address, UINT64 size) {
  UINT64 physical = KernelToPhysical(address);
  if (size > kKernelPhysicalMask + 1 - physical) return false;
  UINT64 rounded = (size + EFI_PAGE_SIZE - 1) & ~UINT64(EFI_PAGE_SIZE - 1);
  return rounded <= ~UINT64(0) - address;
}

EFI_STATUS MachOLoadSegment(MachOLoad* load, const MachOCommand& command) {
  if (command.Size < kSegmentCommandSize) return EFI_LOAD_ERROR;
  SegmentFields segment = ReadFields(load->Commands.data() + command.Offset);
  if (segment.virtual_size == 0) return EFI_SUCCESS;
  if (segment.file_size > segment.virtual_size) segment.file_size = segment.virtual_size;
  UINT64 address = segment.address + load->Slide;
  if (address < segment.address || !MachOFitsKernelWindow(address, segment.virtual_size)) return EFI_LOAD_ERROR;
  UINT64 size = segment.virtual_size;
  UINT64 physical = 0;
  EFI_STATUS status = SegmentMemory(load, address, &size, &physical);
  if (EFI_ERROR(status)) return status;
  UINT8* memory = reinterpret_cast<UINT8*>(static_cast<UINTN>(physical));
  // The segment's bytes must start inside its own slice of the file.
  if (segment.file_size != 0 && segment.file_offset > load->SliceSize) return EFI_LOAD_ERROR;
  UINT64 position = load->SliceOffset + segment.file_offset;
  if (position < load->SliceOffset) return EFI_LOAD_ERROR;
  status = BootFileSetPosition(load->File, position);
  if (EFI_ERROR(status)) {
    ConsolePrint("Set offset failed\n");
    return status;
  }
  UINT64 bytes_read = 0;
  status = ReadContents(load, segment, memory, &bytes_read);
  if (EFI_ERROR(status)) return status;
  MemZero(memory + bytes_read, size - bytes_read);
  if (load->Sliding) RememberForSliding(load, segment, address, memory);
  WidenBounds(load->Info, address, physical, size);
  return EFI_SUCCESS;
}
