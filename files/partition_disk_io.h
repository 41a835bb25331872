// Byte-addressed reads and writes of a partition (an encrypted volume's header, an HFS+
// volume's identifier, the hibernation image and its memory note). Firmware puts Disk I/O on
// every block device as a rule, but U-Boot's UEFI offers Block I/O alone; there the bytes are
// moved over the partition's Block I/O instead: whole aligned blocks straight into the
// caller's buffer, the rest through a bounce buffer at the device's alignment (a write reads
// its partial blocks first). The adapter refuses before touching the device a range that does
// not lie inside the partition (EFI_INVALID_PARAMETER), another media id (EFI_MEDIA_CHANGED),
// missing media (EFI_NO_MEDIA) and a write to a device that cannot take one
// (EFI_WRITE_PROTECTED).
#pragma once

#include "efi/efi.h"
#include "efi/protocols/block_io.h"

struct PartitionDiskIo {
  EFI_DISK_IO_PROTOCOL adapter;     // first member: the adapter's protocol pointer is the record
  EFI_BLOCK_IO_PROTOCOL* block;     // the partition's, for its media
  EFI_DISK_IO_PROTOCOL* firmware;   // the firmware's Disk I/O; null when the adapter serves

  // The record must stay where it is while disk() is in use.
  EFI_DISK_IO_PROTOCOL* disk() { return firmware ? firmware : &adapter; }
  UINT32 media_id() const { return block->Media->MediaId; }
};

// Fills io for the partition: its Block I/O and the firmware's Disk I/O, or the adapter over
// the Block I/O where there is none. EFI_UNSUPPORTED without Block I/O or media.
[[nodiscard]] EFI_STATUS PartitionDiskIoOpen(EFI_HANDLE partition, PartitionDiskIo* io);

// The adapter alone, over the given Block I/O.
void PartitionDiskIoOverBlockIo(EFI_BLOCK_IO_PROTOCOL* block, PartitionDiskIo* io);
