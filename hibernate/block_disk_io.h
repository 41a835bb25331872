// Byte-addressed reads and writes over a partition's Block I/O, for firmware that offers no
// Disk I/O protocol (U-Boot's UEFI has none): the image and the persistent-memory note are
// read and written at byte offsets that need not fall on block boundaries.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/block_io.h"

struct BlockDiskIo {
  EFI_DISK_IO_PROTOCOL protocol;  // first member: the protocol pointer is the record
  EFI_BLOCK_IO_PROTOCOL* block_io;
};

// Fills disk with a Disk I/O protocol whose calls go to block_io. Whole aligned blocks are
// transferred straight; the partial blocks at either end go through a one-block bounce buffer
// (a write reads the block first). Offsets past the media answer EFI_INVALID_PARAMETER.
void BlockDiskIoInit(BlockDiskIo* disk, EFI_BLOCK_IO_PROTOCOL* block_io);
