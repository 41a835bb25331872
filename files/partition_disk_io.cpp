#include "files/partition_disk_io.h"

#include "lib/mem.h"
#include "memory/owners.h"

namespace {

// Unaligned transfers go through a bounce buffer of about this size, in whole blocks.
constexpr UINTN kBounceBytes = 64 * 1024;

bool AlignedFor(const void* buffer, UINT32 io_align) {
  return io_align <= 1 || reinterpret_cast<UINTN>(buffer) % io_align == 0;
}

EFI_STATUS Blocks(EFI_BLOCK_IO_PROTOCOL* block, bool write, UINT32 media_id, EFI_LBA lba, UINTN size, void* buffer) {
  return write ? block->WriteBlocks(block, media_id, lba, size, buffer)
               : block->ReadBlocks(block, media_id, lba, size, buffer);
}

EFI_STATUS Transfer(EFI_DISK_IO_PROTOCOL* self, bool write, UINT32 media_id, UINT64 offset, UINTN size,
                    UINT8* buffer) {
  EFI_BLOCK_IO_PROTOCOL* block = reinterpret_cast<PartitionDiskIo*>(self)->block;
  const EFI_BLOCK_IO_MEDIA* media = block ? block->Media : nullptr;
  if (!media || media->BlockSize == 0) return EFI_DEVICE_ERROR;
  if (media_id != media->MediaId) return EFI_MEDIA_CHANGED;
  if (!media->MediaPresent) return EFI_NO_MEDIA;
  if (write && (media->ReadOnly || !block->WriteBlocks)) return EFI_WRITE_PROTECTED;
  if (size == 0) return EFI_SUCCESS;
  if (!buffer) return EFI_INVALID_PARAMETER;
  const UINT64 block_size = media->BlockSize;
  UINT64 end = 0;
  if (media->LastBlock >= ~UINT64(0) / block_size || __builtin_add_overflow(offset, UINT64(size), &end) ||
      end > (media->LastBlock + 1) * block_size) {
    return EFI_INVALID_PARAMETER;
  }
  const UINT32 align = media->IoAlign > 1 ? media->IoAlign : 1;
  UINTN bounce_size = kBounceBytes - kBounceBytes % block_size;
  if (bounce_size < block_size) bounce_size = UINTN(block_size);
  PoolBuffer bounce;
  UINT8* staging = nullptr;
  while (size) {
    const EFI_LBA lba = offset / block_size;
    const UINTN skip = UINTN(offset % block_size);
    UINTN done = 0;
    EFI_STATUS status = EFI_SUCCESS;
    if (skip == 0 && size >= block_size && AlignedFor(buffer, align)) {
      done = size - UINTN(size % block_size);
      status = Blocks(block, write, media_id, lba, done, buffer);
    } else {
      if (!staging) {
        if (EFI_ERROR(bounce.Allocate(bounce_size + align))) return EFI_OUT_OF_RESOURCES;
        staging = bounce.get<UINT8>();
        staging += (align - reinterpret_cast<UINTN>(staging) % align) % align;
      }
      const UINT64 wanted = skip + UINT64(size);
      const UINTN span = wanted >= bounce_size ? bounce_size : UINTN((wanted + block_size - 1) / block_size * block_size);
      done = span - skip < size ? span - skip : size;
      if (!write || skip != 0 || done != span) status = Blocks(block, false, media_id, lba, span, staging);
      if (!EFI_ERROR(status) && !write) MemCopy(buffer, staging + skip, done);
      if (!EFI_ERROR(status) && write) {
        MemCopy(staging + skip, buffer, done);
        status = Blocks(block, true, media_id, lba, span, staging);
      }
    }
    if (EFI_ERROR(status)) return status;
    offset += done;
    buffer += done;
    size -= done;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI AdapterRead(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, VOID* buffer) {
  return Transfer(self, false, media_id, offset, size, static_cast<UINT8*>(buffer));
}

EFI_STATUS EFIAPI AdapterWrite(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, VOID* buffer) {
  return Transfer(self, true, media_id, offset, size, static_cast<UINT8*>(buffer));
}

}  // namespace

void PartitionDiskIoOverBlockIo(EFI_BLOCK_IO_PROTOCOL* block, PartitionDiskIo* io) {
  io->adapter = EFI_DISK_IO_PROTOCOL{0x00010000, AdapterRead, AdapterWrite};
  io->block = block;
  io->firmware = nullptr;
}

EFI_STATUS PartitionDiskIoOpen(EFI_HANDLE partition, PartitionDiskIo* io) {
  EFI_BLOCK_IO_PROTOCOL* block = nullptr;
  if (!partition || !io ||
      EFI_ERROR(gBS->HandleProtocol(partition, &kEfiBlockIoProtocolGuid, reinterpret_cast<void**>(&block))) ||
      !block || !block->Media) {
    return EFI_UNSUPPORTED;
  }
  PartitionDiskIoOverBlockIo(block, io);
  EFI_DISK_IO_PROTOCOL* disk = nullptr;
  if (!EFI_ERROR(gBS->HandleProtocol(partition, &kEfiDiskIoProtocolGuid, reinterpret_cast<void**>(&disk)))) {
    io->firmware = disk;  // null leaves the adapter in charge
  }
  return EFI_SUCCESS;
}
