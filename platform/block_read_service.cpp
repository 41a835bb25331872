#include "platform/block_read_service.h"

#include "efi/protocols/block_io.h"
#include "memory/owners.h"
#include "platform/platform_text.h"
#include "platform/serial_output.h"

namespace {

constexpr UINTN kBlockReadMaxDisks = 8;
constexpr UINT64 kBlockReadTick = 1;  // 100 ns units: every timer tick the firmware has

// One disk's protocol instance and the transfer in flight on it.
struct BlockReadDisk {
  TarnBlockReadProtocol protocol;  // first member: the protocol pointer is the record
  EFI_HANDLE handle;
  EFI_BLOCK_IO_PROTOCOL* block_io;
  EFI_EVENT timer;
  UINT64 next_block;
  UINT8* next_buffer;
  UINTN remaining;    // bytes still to read
  volatile BOOLEAN busy;  // changed by the timer callback
};

struct BlockReadState {
  bool wanted;
  UINTN count;
  BlockReadDisk disks[kBlockReadMaxDisks];
};
BlockReadState gBlockRead;

void FinishTransfer(BlockReadDisk* disk) {
  gBS->SetTimer(disk->timer, TimerCancel, 0);
  disk->busy = FALSE;
}

// The next piece of the transfer, at TPL_CALLBACK.
void EFIAPI ReadNextPiece(EFI_EVENT, VOID* context) {
  auto* disk = static_cast<BlockReadDisk*>(context);
  if (!disk->busy) return;
  UINT32 block_size = disk->block_io->Media->BlockSize;
  UINTN piece = disk->remaining < kBlockReadPieceBytes ? disk->remaining : kBlockReadPieceBytes;
  piece -= piece % block_size;
  EFI_STATUS status = disk->block_io->ReadBlocks(disk->block_io, disk->block_io->Media->MediaId, disk->next_block,
                                                 piece, disk->next_buffer);
  if (EFI_ERROR(status)) {
    // The protocol has no way to hand a late failure back: the reader finds the data wrong.
    SerialWriteLine(PlatformText().Add("platform: block read failed at block 0x").AddHex(disk->next_block, 1)
                        .Add(": ").AddStatus(status));
    FinishTransfer(disk);
    return;
  }
  disk->next_block += piece / block_size;
  disk->next_buffer += piece;
  disk->remaining -= piece;
  if (!disk->remaining) FinishTransfer(disk);
}

// Checks the request against the disk and starts it; the data arrives from the timer.
EFI_STATUS EFIAPI StartBlockRead(TarnBlockReadProtocol* self, UINT32, UINT64 block, UINTN size, VOID* buffer) {
  auto* disk = reinterpret_cast<BlockReadDisk*>(self);
  const EFI_BLOCK_IO_MEDIA* media = disk->block_io->Media;
  if (disk->busy) return EFI_NOT_READY;
  if (!buffer || !media->MediaPresent) return EFI_INVALID_PARAMETER;
  if (size == 0) return EFI_SUCCESS;
  if (size % media->BlockSize) return EFI_BAD_BUFFER_SIZE;
  UINT64 blocks = size / media->BlockSize;
  if (block > media->LastBlock || blocks > media->LastBlock - block + 1) return EFI_INVALID_PARAMETER;
  disk->next_block = block;
  disk->next_buffer = static_cast<UINT8*>(buffer);
  disk->remaining = size;
  disk->busy = TRUE;
  EFI_STATUS status = gBS->SetTimer(disk->timer, TimerPeriodic, kBlockReadTick);
  if (EFI_ERROR(status)) disk->busy = FALSE;
  return status;
}

UINTN EFIAPI BlockReadBusy(TarnBlockReadProtocol* self) {
  auto* disk = reinterpret_cast<BlockReadDisk*>(self);
  // U-Boot has no timer interrupt: it looks at its timers only when an event service is
  // called. CheckEvent is such a call; for a notify event it answers EFI_INVALID_PARAMETER and
  // on firmware with interrupts it changes nothing.
  if (disk->busy) (void)gBS->CheckEvent(disk->timer);
  return disk->busy ? 1 : 0;
}

}  // namespace

void BlockReadRequest() { gBlockRead.wanted = true; }

EFI_STATUS InstallBlockReadService() {
  if (!gBlockRead.wanted) return EFI_NOT_FOUND;
  HandleBuffer handles;
  EFI_STATUS status = handles.Locate(kEfiBlockIoProtocolGuid);
  for (UINTN i = 0; !EFI_ERROR(status) && i < handles.count() && gBlockRead.count < kBlockReadMaxDisks; ++i) {
    void* interface = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiBlockIoProtocolGuid, &interface)) || !interface) continue;
    auto* block_io = static_cast<EFI_BLOCK_IO_PROTOCOL*>(interface);
    if (!block_io->Media || block_io->Media->LogicalPartition || !block_io->Media->BlockSize) continue;
    BlockReadDisk* disk = &gBlockRead.disks[gBlockRead.count];
    *disk = BlockReadDisk{{StartBlockRead, BlockReadBusy}, handles[i], block_io, nullptr, 0, nullptr, 0, FALSE};
    if (EFI_ERROR(gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ReadNextPiece, disk, &disk->timer))) {
      continue;
    }
    EFI_HANDLE handle = disk->handle;
    if (EFI_ERROR(gBS->InstallProtocolInterface(&handle, &kTarnBlockReadProtocolGuid, EFI_NATIVE_INTERFACE,
                                                &disk->protocol))) {
      gBS->CloseEvent(disk->timer);
      continue;
    }
    ++gBlockRead.count;
  }
  PlatformText line;
  line.Add("platform: block read installed on ").AddDecimal(gBlockRead.count).Add(" disk(s)");
  SerialWriteLine(line);
  return gBlockRead.count ? EFI_SUCCESS : EFI_NOT_FOUND;
}

void RemoveBlockReadService() {
  for (UINTN i = 0; i < gBlockRead.count; ++i) {
    BlockReadDisk* disk = &gBlockRead.disks[i];
    FinishTransfer(disk);
    gBS->CloseEvent(disk->timer);
    gBS->UninstallProtocolInterface(disk->handle, &kTarnBlockReadProtocolGuid, &disk->protocol);
  }
  gBlockRead = BlockReadState{};
}
