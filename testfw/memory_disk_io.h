// An in-memory partition for host tests: disk I/O and block I/O over a byte vector,
// installed on a new handle of the current TestFirmware (or a given one).
//
//   MemoryDiskIo disk(std::vector<uint8_t>(64 * 1024));
//   disk.Bytes()[1024] = 'H';
//   ... code under test reads disk.Handle() ...
//
// Reads past the end answer EFI_INVALID_PARAMETER; a media id other than the disk's answers
// EFI_MEDIA_CHANGED. Keep the object alive while code runs.
#pragma once

#include <cstdint>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/block_io.h"

class MemoryDiskIo {
 public:
  explicit MemoryDiskIo(std::vector<uint8_t> bytes, uint32_t block_size = 512, EFI_HANDLE handle = nullptr);
  MemoryDiskIo(const MemoryDiskIo&) = delete;
  MemoryDiskIo& operator=(const MemoryDiskIo&) = delete;

  EFI_HANDLE Handle() const { return handle_; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  int Reads() const { return reads_; }
  // Writes are refused (EFI_WRITE_PROTECTED) unless switched on.
  void SetWritable(bool writable) { writable_ = writable; }
  int Writes() const { return writes_; }
  // A whole disk rather than a partition (Block I/O's LogicalPartition clear).
  void SetWholeDisk() { media_.LogicalPartition = 0; }

 private:
  static EFI_STATUS EFIAPI ReadDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, VOID* buffer);
  static EFI_STATUS EFIAPI WriteDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size,
                                     VOID* buffer);
  static EFI_STATUS EFIAPI ReadBlocks(EFI_BLOCK_IO_PROTOCOL* self, UINT32 media_id, EFI_LBA lba, UINTN size,
                                      VOID* buffer);

  struct BlockIo {
    EFI_BLOCK_IO_PROTOCOL protocol;  // first member: the protocol pointer is the record
    MemoryDiskIo* owner;
  };
  EFI_DISK_IO_PROTOCOL disk_io_{};  // first member: the protocol pointer is the object
  BlockIo block_io_{};
  EFI_BLOCK_IO_MEDIA media_{};
  std::vector<uint8_t> bytes_;
  EFI_HANDLE handle_ = nullptr;
  int reads_ = 0;
  int writes_ = 0;
  bool writable_ = false;
};
