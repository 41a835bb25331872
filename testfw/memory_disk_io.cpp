#include "testfw/memory_disk_io.h"

#include <cstddef>
#include <cstring>

#include "testfw/test_firmware.h"

namespace {

constexpr uint32_t kMediaId = 0x4D44;

}  // namespace

MemoryDiskIo::MemoryDiskIo(std::vector<uint8_t> bytes, uint32_t block_size, EFI_HANDLE handle)
    : bytes_(std::move(bytes)) {
  disk_io_.Revision = 0x00010000;
  disk_io_.ReadDisk = ReadDisk;
  disk_io_.WriteDisk = WriteDisk;
  media_.MediaId = kMediaId;
  media_.MediaPresent = 1;
  media_.LogicalPartition = 1;
  media_.BlockSize = block_size;
  media_.LastBlock = bytes_.empty() ? 0 : (bytes_.size() - 1) / block_size;
  block_io_.protocol.Revision = 0x00010000;
  block_io_.protocol.Media = &media_;
  block_io_.protocol.ReadBlocks = ReadBlocks;
  block_io_.owner = this;
  TestFirmware& fw = TestFirmware::Current();
  handle_ = fw.InstallProtocol(handle, kEfiDiskIoProtocolGuid, &disk_io_);
  fw.InstallProtocol(handle_, kEfiBlockIoProtocolGuid, &block_io_);
}

EFI_STATUS EFIAPI MemoryDiskIo::ReadDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size,
                                         VOID* buffer) {
  auto* disk = reinterpret_cast<MemoryDiskIo*>(self);
  ++disk->reads_;
  if (media_id != kMediaId) return EFI_MEDIA_CHANGED;
  if (offset > disk->bytes_.size() || size > disk->bytes_.size() - offset) return EFI_INVALID_PARAMETER;
  std::memcpy(buffer, disk->bytes_.data() + offset, size);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryDiskIo::WriteDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size,
                                          VOID* buffer) {
  auto* disk = reinterpret_cast<MemoryDiskIo*>(self);
  if (!disk->writable_) return EFI_WRITE_PROTECTED;
  ++disk->writes_;
  if (media_id != kMediaId) return EFI_MEDIA_CHANGED;
  if (offset > disk->bytes_.size() || size > disk->bytes_.size() - offset) return EFI_INVALID_PARAMETER;
  std::memcpy(disk->bytes_.data() + offset, buffer, size);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryDiskIo::ReadBlocks(EFI_BLOCK_IO_PROTOCOL* self, UINT32 media_id, EFI_LBA lba, UINTN size,
                                           VOID* buffer) {
  MemoryDiskIo* disk = reinterpret_cast<BlockIo*>(self)->owner;
  return ReadDisk(&disk->disk_io_, media_id, lba * disk->media_.BlockSize, size, buffer);
}
