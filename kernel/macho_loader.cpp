// LoadKernelFromStream: header, load commands and the entry point.
#include "kernel/macho_loader.h"

#include "flags/boot_mode.h"
#include "output/error_report.h"
#include "output/console.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "kernel/macho_format.h"
#include "kernel/macho_load.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"

namespace {

EFI_STATUS ReadExactly(BootFile* file, UINT64 size, void* buffer) {
  UINT64 n = size;
  EFI_STATUS status = BootFileRead(file, &n, buffer);
  return EFI_ERROR(status) || n < size ? EFI_LOAD_ERROR : EFI_SUCCESS;
}

// Reads the header and checks its magic; a 32-bit kernel ends the boot here.
EFI_STATUS ReadHeader(MachOLoad* load, UINT8 header[kMachOHeaderSize]) {
  // The header must lie inside the slice, not run on into whatever follows it in the file.
  if (load->SliceSize < kMachOHeaderSizeWithoutReserved) return EFI_LOAD_ERROR;
  if (EFI_ERROR(ReadExactly(load->File, kMachOHeaderSizeWithoutReserved, header))) return EFI_LOAD_ERROR;
  UINT32 magic = LoadLe32(header + kMachOHeaderMagic);
  if (magic == kMachOMagic32) {
    return ReportError(kStatusKernel32Bit, "Booting from 32-bit kernelcache is not supported. Exiting.\n");
  }
  if (magic != kMachOMagic64) {
    ConsolePrint("Mach-O file has bad magic number 0x%x\n", magic);
    return EFI_LOAD_ERROR;
  }
  if (load->SliceSize < kMachOHeaderSize) return EFI_LOAD_ERROR;
  return ReadExactly(load->File, kMachOHeaderSize - kMachOHeaderSizeWithoutReserved,
                     header + kMachOHeaderSizeWithoutReserved);
}

// A kernel linked for one address only cannot be slid: it loads where it was linked.
void CancelSlideUnlessPositionIndependent(const UINT8* header) {
  if (!(BootModeFlags & kBootModeSlide)) return;
  if (LoadLe32(header + kMachOHeaderFlags) & kMachOFlagPositionIndependent) return;
  KernelSlide = 0;
  BootModeFlags &= ~kBootModeSlide;
}

EFI_STATUS TakeEntryPoint(MachOLoad* load, const MachOCommand& command) {
  const UINT8* bytes = load->Commands.data() + command.Offset;
  if (command.Size < kThreadState) return EFI_LOAD_ERROR;
  if (LoadLe32(bytes + kThreadFlavor) != kThreadFlavorX86_64) {
    ConsolePrint("Only 64-bit version of LC_UNIXTHREAD is supported\n");
    return EFI_UNSUPPORTED;
  }
  if (command.Size < kThreadInstructionPointer + 8) return EFI_LOAD_ERROR;
  UINT64 entry = LoadLe64(bytes + kThreadInstructionPointer);
  if (load->Sliding) entry += load->Slide;
  load->Info->EntryPoint = entry;
  load->Info->EntryPhysical = KernelToPhysical(entry);
  load->HaveEntry = true;
  return EFI_SUCCESS;
}

EFI_STATUS ActOnCommand(MachOLoad* load, const MachOCommand& command) {
  switch (command.Code) {
    case kLcSegment64:
      return MachOLoadSegment(load, command);
    case kLcUnixThread:
      return TakeEntryPoint(load, command);
    case kLcSymtab:
      return load->Sliding ? MachOSlideSymbols(load, command) : EFI_SUCCESS;
    case kLcDysymtab:
      return load->Sliding ? MachOSlideLocalRelocations(load, command) : EFI_SUCCESS;
    default:
      return EFI_SUCCESS;
  }
}

EFI_STATUS WalkCommands(MachOLoad* load) {
  MachOCommand command;
  EFI_STATUS status = MachOFirstCommand(load->Commands, load->CommandCount, &command);
  while (!EFI_ERROR(status)) {
    load->Current = command;
    status = ActOnCommand(load, command);
    if (EFI_ERROR(status)) return status;
    status = MachONextCommand(load->Commands, load->CommandCount, command, &command);
  }
  if (status != EFI_NOT_FOUND) return status;
  // Without an entry inside the image the hand-off would jump into memory nobody loaded.
  load->Current.Index = load->CommandCount > 0 ? UINT32(load->CommandCount) : 0;
  if (!load->HaveEntry || !MachOLoadedMemory(*load, load->Info->EntryPoint, 1)) return EFI_LOAD_ERROR;
  return EFI_SUCCESS;
}

EFI_STATUS ReadCommandsAndWalk(MachOLoad* load, const UINT8* header) {
  UINT32 size = LoadLe32(header + kMachOHeaderCommandsSize);
  if (size > load->SliceSize - kMachOHeaderSize) return EFI_LOAD_ERROR;
  PoolBuffer buffer;  // the copy of the load commands goes on every path out of the load
  UINT8* commands = nullptr;
  if (size != 0) {
    if (EFI_ERROR(buffer.Allocate(size))) return ReportError(kStatusBootEnding, "Out of memory in LoadKernel\n");
    commands = buffer.get<UINT8>();
    if (EFI_ERROR(ReadExactly(load->File, size, commands))) return EFI_LOAD_ERROR;
  }
  load->Commands = ByteSpan(commands, size);
  load->CommandCount = static_cast<INT32>(LoadLe32(header + kMachOHeaderCommandCount));
  return WalkCommands(load);
}

}  // namespace

EFI_STATUS LoadKernelFromStream(BootFile* file, KernelImageInfo* info) { return LoadPlacedKernel(file, nullptr, info); }

EFI_STATUS LoadPlacedKernel(BootFile* file, const KernelPlacement* placement, KernelImageInfo* info) {
  MachOLoad load{};
  load.File = file;
  load.Info = info;
  load.Placement = placement;
  EFI_STATUS status = SelectFileSlice(file, &load.SliceOffset, &load.SliceSize);
  if (EFI_ERROR(status)) return status;
  if (load.SliceSize == 0) return EFI_NOT_FOUND;
  UINT8 header[kMachOHeaderSize];
  status = ReadHeader(&load, header);
  if (EFI_ERROR(status)) return status;
  CancelSlideUnlessPositionIndependent(header);
  load.Sliding = (BootModeFlags & kBootModeSlide) != 0;
  load.Slide = load.Sliding ? KernelSlide : 0;
  return ReadCommandsAndWalk(&load, header);
}
