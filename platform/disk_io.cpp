#include "platform/disk_io.h"

#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {

constexpr UINT64 kDiskIoRevision = 0x00010000;
// Unaligned transfers go through a bounce buffer of about this size, in whole blocks.
constexpr UINTN kBounceBytes = 64 * 1024;

struct DiskIoStandIn {
  EFI_DISK_IO_PROTOCOL protocol;  // first member: the protocol pointer is the record
  EFI_BLOCK_IO_PROTOCOL* block;
  EFI_HANDLE handle;
  DiskIoStandIn* next;
};
// The installed stand-ins, newest first.
DiskIoStandIn* gDiskIoStandIns = nullptr;

void ResetDiskIoStandIns() { gDiskIoStandIns = nullptr; }
HEARTH_HOST_RESET(ResetDiskIoStandIns);

bool AlignedFor(const void* buffer, UINT32 io_align) {
  return io_align <= 1 || reinterpret_cast<UINTN>(buffer) % io_align == 0;
}

EFI_STATUS Blocks(EFI_BLOCK_IO_PROTOCOL* block, bool write, UINT32 media_id, EFI_LBA lba, UINTN size, void* buffer) {
  return write ? block->WriteBlocks(block, media_id, lba, size, buffer)
               : block->ReadBlocks(block, media_id, lba, size, buffer);
}

// A bounce buffer of whole blocks at the device's alignment; *usable is its size.
class Bounce {
 public:
  Bounce(UINT32 block_size, UINT32 io_align) : align_(io_align > 1 ? io_align : 1) {
    usable_ = kBounceBytes - kBounceBytes % block_size;
    if (usable_ < block_size) usable_ = block_size;
    if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, usable_ + align_, &raw_))) raw_ = nullptr;
  }
  ~Bounce() {
    if (raw_) gBS->FreePool(raw_);
  }
  Bounce(const Bounce&) = delete;
  Bounce& operator=(const Bounce&) = delete;

  UINT8* data() const {
    if (!raw_) return nullptr;
    UINTN address = reinterpret_cast<UINTN>(raw_);
    return static_cast<UINT8*>(raw_) + (align_ - address % align_) % align_;
  }
  UINTN usable() const { return usable_; }

 private:
  UINT32 align_;
  UINTN usable_ = 0;
  void* raw_ = nullptr;
};

// Moves size bytes at offset between the device and buffer: whole aligned blocks directly,
// everything else a bounce buffer's worth at a time (partial blocks of a write are read first).
EFI_STATUS Transfer(DiskIoStandIn* self, bool write, UINT32 media_id, UINT64 offset, UINTN size, UINT8* buffer) {
  EFI_BLOCK_IO_PROTOCOL* block = self->block;
  const EFI_BLOCK_IO_MEDIA* media = block->Media;
  if (!media || media->BlockSize == 0) return EFI_DEVICE_ERROR;
  if (media_id != media->MediaId) return EFI_MEDIA_CHANGED;
  if (!media->MediaPresent) return EFI_NO_MEDIA;
  if (write && media->ReadOnly) return EFI_WRITE_PROTECTED;
  if (size == 0) return EFI_SUCCESS;
  if (!buffer) return EFI_INVALID_PARAMETER;
  const UINT64 block_size = media->BlockSize;
  UINT64 end = 0;
  if (media->LastBlock >= ~UINT64(0) / block_size || __builtin_add_overflow(offset, UINT64(size), &end) ||
      end > (media->LastBlock + 1) * block_size) {
    return EFI_INVALID_PARAMETER;
  }
  Bounce bounce(media->BlockSize, media->IoAlign);
  while (size) {
    const EFI_LBA lba = offset / block_size;
    const UINTN skip = UINTN(offset % block_size);
    UINTN done = 0;
    EFI_STATUS status = EFI_SUCCESS;
    if (skip == 0 && size >= block_size && AlignedFor(buffer, media->IoAlign)) {
      done = size - size % block_size;
      status = Blocks(block, write, media_id, lba, done, buffer);
    } else {
      if (!bounce.data()) return EFI_OUT_OF_RESOURCES;
      UINT64 wanted = skip + UINT64(size);
      UINTN span = wanted >= bounce.usable() ? bounce.usable() : UINTN((wanted + block_size - 1) / block_size * block_size);
      done = span - skip < size ? span - skip : size;
      if (!write || skip != 0 || done != span) status = Blocks(block, false, media_id, lba, span, bounce.data());
      if (!EFI_ERROR(status) && !write) MemCopy(buffer, bounce.data() + skip, done);
      if (!EFI_ERROR(status) && write) {
        MemCopy(bounce.data() + skip, buffer, done);
        status = Blocks(block, true, media_id, lba, span, bounce.data());
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
  return Transfer(reinterpret_cast<DiskIoStandIn*>(self), false, media_id, offset, size, static_cast<UINT8*>(buffer));
}

EFI_STATUS EFIAPI WriteDisk(EFI_DISK_IO_PROTOCOL* self, UINT32 media_id, UINT64 offset, UINTN size, VOID* buffer) {
  return Transfer(reinterpret_cast<DiskIoStandIn*>(self), true, media_id, offset, size, static_cast<UINT8*>(buffer));
}

bool HasDiskIo(EFI_HANDLE handle) {
  void* disk = nullptr;
  return !EFI_ERROR(gBS->HandleProtocol(handle, &kEfiDiskIoProtocolGuid, &disk)) && disk;
}

EFI_STATUS AddStandIn(EFI_HANDLE handle, EFI_BLOCK_IO_PROTOCOL* block) {
  void* memory = nullptr;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, sizeof(DiskIoStandIn), &memory)) || !memory) {
    return EFI_OUT_OF_RESOURCES;
  }
  DiskIoStandIn* standin = static_cast<DiskIoStandIn*>(memory);
  *standin = DiskIoStandIn{{kDiskIoRevision, ReadDisk, WriteDisk}, block, handle, gDiskIoStandIns};
  EFI_STATUS status = gBS->InstallProtocolInterface(&standin->handle, &kEfiDiskIoProtocolGuid, EFI_NATIVE_INTERFACE,
                                                    &standin->protocol);
  if (EFI_ERROR(status)) {
    gBS->FreePool(memory);
    return status;
  }
  gDiskIoStandIns = standin;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS InstallDiskIoStandIns(UINTN* installed) {
  if (!installed) return EFI_INVALID_PARAMETER;
  *installed = 0;
  UINTN count = 0;
  EFI_HANDLE* handles = nullptr;
  EFI_STATUS status = gBS->LocateHandleBuffer(ByProtocol, &kEfiBlockIoProtocolGuid, nullptr, &count, &handles);
  if (EFI_ERROR(status)) return status == EFI_NOT_FOUND ? EFI_SUCCESS : status;
  EFI_STATUS result = EFI_SUCCESS;
  for (UINTN i = 0; i < count; ++i) {
    EFI_BLOCK_IO_PROTOCOL* block = nullptr;
    if (HasDiskIo(handles[i]) ||
        EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiBlockIoProtocolGuid, reinterpret_cast<void**>(&block))) ||
        !block) {
      continue;
    }
    status = AddStandIn(handles[i], block);
    if (EFI_ERROR(status)) {
      result = status;
    } else {
      ++*installed;
    }
  }
  gBS->FreePool(handles);
  return result;
}

void RemoveDiskIoStandIns() {
  while (DiskIoStandIn* standin = gDiskIoStandIns) {
    gDiskIoStandIns = standin->next;
    gBS->UninstallProtocolInterface(standin->handle, &kEfiDiskIoProtocolGuid, &standin->protocol);
    gBS->FreePool(standin);
  }
}
