// The persistent memory note when no resume happens: the region the operating system named
// is written into the image file, behind the header, for the next system to collect.
#include "diag/log.h"
#include "flags/guids.h"
#include "handoff/platform_facts.h"
#include "hibernate/boot_image.h"
#include "hibernate/check_hibernate.h"
#include "hibernate/image_format.h"
#include "lib/mem.h"
#include "memory/memory.h"

namespace {

constexpr UINTN kNoteSize = 24;
constexpr UINT32 kNoteAttributes = 7;  // non-volatile, boot and runtime access
constexpr const CHAR16* kNoteName = u"Persistent-memory-note";
constexpr UINT64 kBounce = 4096;

// Writes length bytes from source through the extents, starting after the header block.
EFI_STATUS WriteThroughExtents(EFI_DISK_IO_PROTOCOL* disk, UINT32 media, ByteSpan map, UINT32 block_size,
                               const UINT8* source, UINT64 length) {
  ImageExtent extent{};
  UINT64 capacity = 0;
  for (UINTN i = 0; ImageExtentAt(map, i, &extent); ++i) {
    if (i == 0) extent.length = extent.length > block_size ? extent.length - block_size : 0;
    if (capacity + extent.length < capacity) return EFI_VOLUME_CORRUPTED;
    capacity += extent.length;
  }
  if (capacity < length) return EFI_VOLUME_FULL;  // never past the file's own blocks
  for (UINTN i = 0; length && ImageExtentAt(map, i, &extent); ++i) {
    if (i == 0) {
      if (extent.length <= block_size) continue;  // the first extent holds only the header
      extent.start += block_size;
      extent.length -= block_size;
    }
    UINT64 size = length < extent.length ? length : extent.length;
    EFI_STATUS status = disk->WriteDisk(disk, media, extent.start, size, const_cast<UINT8*>(source));
    if (EFI_ERROR(status)) return status;
    source += size;
    length -= size;
  }
  return EFI_SUCCESS;
}

EFI_STATUS StoreNote(UINT64 length, UINT64 address) {
  BootImage image;
  EFI_STATUS status = OpenBootImage(&image);
  if (EFI_ERROR(status)) return status;
  BootImageLocation location{};
  UINT32 media = image.block_io->Media->MediaId;
  EFI_PHYSICAL_ADDRESS bounce_at = 0;
  status = ParseBootImageText(image.file_text, image.file_text_length, &location);
  if (!EFI_ERROR(status) && location.header_offset == 0) status = EFI_INVALID_PARAMETER;
  if (!EFI_ERROR(status)) status = PagesAllocate(AllocateAnyPages, EfiLoaderData, 2, &bounce_at);
  if (EFI_ERROR(status)) {
    BootImageClose(&image);
    return status == EFI_OUT_OF_RESOURCES ? status : EFI_INVALID_PARAMETER;
  }
  auto* header = reinterpret_cast<UINT8*>(bounce_at);
  UINT8* map = header + kBounce;  // the inline extents, then the rest of the map
  status = image.disk_io->ReadDisk(image.disk_io, media, location.header_offset, kImageHeaderSize, header);
  UINT32 signature = LoadLe32(header + kHdrSignature);
  UINT32 map_size = LoadLe32(header + kHdrExtentMapSize);
  UINT32 block_size = LoadLe32(header + kHdrDeviceBlockSize);
  if (!EFI_ERROR(status) && ((signature != kImageSignatureOpen && signature != kImageSignatureValid) ||
                             map_size > kExtentMapMaxSize || map_size < kInlineExtentBytes || map_size % kExtentSize ||
                             block_size < kImageHeaderSize)) {
    status = EFI_INVALID_PARAMETER;
  }
  if (!EFI_ERROR(status)) {
    MemCopy(map, header + kHdrExtentMap, kInlineExtentBytes);
    if (map_size > kInlineExtentBytes) {
      status = image.disk_io->ReadDisk(image.disk_io, media, location.header_offset + block_size,
                                       map_size - kInlineExtentBytes, map + kInlineExtentBytes);
    }
  }
  if (!EFI_ERROR(status)) {
    status = WriteThroughExtents(image.disk_io, media, ByteSpan(map, map_size), block_size,
                                 reinterpret_cast<const UINT8*>(static_cast<UINTN>(address)), length);
  }
  if (!EFI_ERROR(status)) {
    StoreLe32(header + kHdrSignature, kImageSignatureDebugData);
    status = image.disk_io->WriteDisk(image.disk_io, media, location.header_offset, kImageHeaderSize, header);
  }
  (void)PagesFree(bounce_at, 2);
  BootImageClose(&image);
  return status;
}

}  // namespace

EFI_STATUS StorePersistentMemoryNote() {
  UINT8 note[kNoteSize];
  UINTN size = sizeof(note);
  EFI_STATUS status = gRT->GetVariable(kNoteName, &TarnBootGuid, nullptr, &size, note);
  UINT64 length = size == kNoteSize ? LoadLe64(note) : 0;
  UINT64 address = size == kNoteSize ? LoadLe64(note + 16) : 0;
  if (EFI_ERROR(status) || size != kNoteSize || !length || !address) {
    status = EFI_INVALID_PARAMETER;
  } else if (address + length < address || !PhysicalRangeIsMemory(address, length)) {
    status = EFI_INVALID_PARAMETER;
  } else {
    status = StoreNote(length, address);
  }
  gRT->SetVariable(u"boot-image", &TarnBootGuid, 0, 0, nullptr);
  if (!EFI_ERROR(status)) {
    LogMessage(1, "Persistent-memory note stored in the image (0x%llx bytes)\n", length);
    gRT->SetVariable(kNoteName, &TarnBootGuid, kNoteAttributes, 10, const_cast<char*>("sleepimage"));
  }
  return status;
}
