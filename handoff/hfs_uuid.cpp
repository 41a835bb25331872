#include "handoff/hfs_uuid.h"

#include "output/ascii_format.h"
#include "efi/efi.h"
#include "crypto/md5.h"
#include "files/partition_disk_io.h"
#include "lib/mem.h"

namespace {

constexpr UINT64 kVolumeHeaderOffset = 1024;
constexpr UINTN kHeaderBytes = 512;
constexpr UINTN kIdentifierOffset = 104;

// B3E20F39-F292-11D6-97A4-00306543ECAC in text order.
constexpr UINT8 kVolumeNameSpace[16] = {0xB3, 0xE2, 0x0F, 0x39, 0xF2, 0x92, 0x11, 0xD6,
                                        0x97, 0xA4, 0x00, 0x30, 0x65, 0x43, 0xEC, 0xAC};

UINT16 Be16(const UINT8* p) { return static_cast<UINT16>((p[0] << 8) | p[1]); }

bool IsPlusHeader(const UINT8* header) {
  return header[0] == 'H' && (header[1] == '+' || header[1] == 'X');
}

// Where the volume inside an HFS wrapper starts: first allocation block (512-byte sectors)
// plus the embedded extent's start block in allocation blocks.
bool EmbeddedVolumeOffset(const UINT8* wrapper, UINT64* offset) {
  if (wrapper[0] != 'B' || wrapper[1] != 'D' || wrapper[124] != 'H' || wrapper[125] != '+') return false;
  UINT32 block_size = LoadBe32(wrapper + 20);
  if (block_size == 0) return false;
  *offset = UINT64(Be16(wrapper + 28)) * 512 + UINT64(Be16(wrapper + 126)) * block_size;
  return true;
}

}  // namespace

void HfsVolumeUuidText(const UINT8 identifier[8], char out[kVolumeUuidTextSize]) {
  Md5Context context;
  UINT8 d[kMd5DigestSize];
  Md5Init(&context);
  Md5Update(&context, kVolumeNameSpace, sizeof(kVolumeNameSpace));
  Md5Update(&context, identifier, 8);
  Md5Final(d, &context);
  d[6] = static_cast<UINT8>((d[6] & 0x0F) | 0x30);
  d[8] = static_cast<UINT8>((d[8] & 0x3F) | 0x80);
  UINTN at = 0;
  for (UINTN i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) out[at++] = '-';
    AsciiSNPrint(out + at, 3, "%02X", UINT64(d[i]));
    at += 2;
  }
  out[at] = 0;
}

EFI_STATUS HfsReadVolumeIdentifier(EFI_DISK_IO_PROTOCOL* disk, UINT32 media_id, UINT8 identifier[8]) {
  UINT8 header[kHeaderBytes];
  EFI_STATUS status = disk->ReadDisk(disk, media_id, kVolumeHeaderOffset, sizeof(header), header);
  if (EFI_ERROR(status)) return status;
  UINT64 embedded = 0;
  if (EmbeddedVolumeOffset(header, &embedded)) {
    status = disk->ReadDisk(disk, media_id, embedded + kVolumeHeaderOffset, sizeof(header), header);
    if (EFI_ERROR(status)) return status;
  }
  if (!IsPlusHeader(header)) return EFI_NOT_FOUND;
  MemCopy(identifier, header + kIdentifierOffset, 8);
  return EFI_SUCCESS;
}

EFI_STATUS HfsBootVolumeUuid(EFI_HANDLE partition, char out[kVolumeUuidTextSize]) {
  if (!partition) return EFI_NOT_FOUND;
  PartitionDiskIo io;  // over Block I/O where the firmware has no Disk I/O (U-Boot's UEFI)
  if (EFI_ERROR(PartitionDiskIoOpen(partition, &io))) return EFI_NOT_FOUND;
  UINT8 identifier[8];
  EFI_STATUS status = HfsReadVolumeIdentifier(io.disk(), io.media_id(), identifier);
  if (EFI_ERROR(status)) return status;
  HfsVolumeUuidText(identifier, out);
  return EFI_SUCCESS;
}
