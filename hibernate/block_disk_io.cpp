#include "hibernate/block_disk_io.h"

#include "lib/mem.h"
#include "memory/owners.h"

namespace {

bool Aligned(const void* buffer, UINT32 io_align) {
  return io_align <= 1 || reinterpret_cast<UINTN>(buffer) % io_align == 0;
}

EFI_STATUS Transfer(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, UINT8* buffer,
                    bool write) {
  EFI_BLOCK_IO_PROTOCOL* io = reinterpret_cast<BlockDiskIo*>(self)->block_io;
  const EFI_BLOCK_IO_MEDIA* media = io->Media;
  const UINT32 block = media->BlockSize;
  if (!block) return EFI_DEVICE_ERROR;
  if (size == 0) return EFI_SUCCESS;
  if (!buffer) return EFI_INVALID_PARAMETER;
  UINT64 end_block = (media->LastBlock + 1);
  if (offset / block >= end_block || size - 1 > end_block * block - offset - 1) return EFI_INVALID_PARAMETER;
  if (write && !io->WriteBlocks) return EFI_WRITE_PROTECTED;
  PoolBuffer bounce;
  while (size) {
    EFI_LBA lba = offset / block;
    UINTN within = static_cast<UINTN>(offset % block);
    EFI_STATUS status;
    UINTN done;
    if (within == 0 && size >= block && Aligned(buffer, media->IoAlign)) {
      done = size - size % block;
      status = write ? io->WriteBlocks(io, media_id, lba, done, buffer) : io->ReadBlocks(io, media_id, lba, done, buffer);
    } else {
      if (!bounce.get() && EFI_ERROR(bounce.Allocate(2 * UINTN(block) + media->IoAlign))) return EFI_OUT_OF_RESOURCES;
      UINT8* staging = bounce.get<UINT8>();
      if (media->IoAlign > 1) staging += (media->IoAlign - reinterpret_cast<UINTN>(staging) % media->IoAlign) % media->IoAlign;
      done = block - within < size ? block - within : size;
      status = io->ReadBlocks(io, media_id, lba, block, staging);
      if (!EFI_ERROR(status)) {
        if (write) {
          MemCopy(staging + within, buffer, done);
          status = io->WriteBlocks(io, media_id, lba, block, staging);
        } else {
          MemCopy(buffer, staging + within, done);
        }
      }
    }
    if (EFI_ERROR(status)) return status;
    offset += done;
    buffer += done;
    size -= done;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ReadDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, VOID* buffer) {
  return Transfer(self, media_id, offset, size, static_cast<UINT8*>(buffer), false);
}

EFI_STATUS EFIAPI WriteDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, VOID* buffer) {
  return Transfer(self, media_id, offset, size, static_cast<UINT8*>(buffer), true);
}

}  // namespace

void BlockDiskIoInit(BlockDiskIo* disk, EFI_BLOCK_IO_PROTOCOL* block_io) {
  disk->protocol.Revision = 0x00010000;
  disk->protocol.ReadDisk = ReadDisk;
  disk->protocol.WriteDisk = WriteDisk;
  disk->block_io = block_io;
}
