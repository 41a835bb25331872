// Block I/O and disk I/O protocols.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiBlockIoProtocolGuid = {0x964E5B21, 0x6459, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
constexpr EFI_GUID kEfiDiskIoProtocolGuid = {0xCE345171, 0xBA0B, 0x11D2, {0x8E, 0x4F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};

struct EFI_BLOCK_IO_MEDIA {
  UINT32 MediaId;
  BOOLEAN RemovableMedia;
  BOOLEAN MediaPresent;
  BOOLEAN LogicalPartition;
  BOOLEAN ReadOnly;
  BOOLEAN WriteCaching;
  UINT32 BlockSize;
  UINT32 IoAlign;
  EFI_LBA LastBlock;
  EFI_LBA LowestAlignedLba;
  UINT32 LogicalBlocksPerPhysicalBlock;
  UINT32 OptimalTransferLengthGranularity;
};

struct EFI_BLOCK_IO_PROTOCOL {
  UINT64 Revision;
  EFI_BLOCK_IO_MEDIA* Media;
  EFI_STATUS(EFIAPI* Reset)(EFI_BLOCK_IO_PROTOCOL* This, BOOLEAN ExtendedVerification);
  EFI_STATUS(EFIAPI* ReadBlocks)(EFI_BLOCK_IO_PROTOCOL* This, UINT32 MediaId, EFI_LBA Lba, UINTN BufferSize,
                                 VOID* Buffer);
  EFI_STATUS(EFIAPI* WriteBlocks)(EFI_BLOCK_IO_PROTOCOL* This, UINT32 MediaId, EFI_LBA Lba, UINTN BufferSize,
                                  VOID* Buffer);
  EFI_STATUS(EFIAPI* FlushBlocks)(EFI_BLOCK_IO_PROTOCOL* This);
};

struct EFI_DISK_IO_PROTOCOL {
  UINT64 Revision;
  EFI_STATUS(EFIAPI* ReadDisk)(EFI_DISK_IO_PROTOCOL* This, UINT32 MediaId, UINT64 Offset, UINTN BufferSize,
                               VOID* Buffer);
  EFI_STATUS(EFIAPI* WriteDisk)(EFI_DISK_IO_PROTOCOL* This, UINT32 MediaId, UINT64 Offset, UINTN BufferSize,
                                VOID* Buffer);
};
