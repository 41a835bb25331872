// The boot volume's UUID as the kernel names it: a name-based (MD5, version 3) UUID made from
// the 8-byte identifier in an HFS Plus volume header.
#pragma once

#include "efi/protocols/block_io.h"
#include "efi/types.h"

constexpr UINTN kVolumeUuidTextSize = 37;  // 8-4-4-4-12 hex digits, dashes and a NUL

// The UUID text for a volume identifier: MD5 over the volumes' name space and the identifier,
// version 3 and variant bits set, upper-case hex.
void HfsVolumeUuidText(const UINT8 identifier[8], char out[kVolumeUuidTextSize]);

// Reads the volume header at byte 1024 of the partition through disk I/O, following an HFS
// wrapper ("BD" with an embedded "H+") to the volume inside, and returns its identifier.
// EFI_NOT_FOUND when neither header carries "H+" or "HX"; the read's status when it fails.
[[nodiscard]] EFI_STATUS HfsReadVolumeIdentifier(EFI_DISK_IO_PROTOCOL* disk, UINT32 media_id, UINT8 identifier[8]);

// The two steps on the handle of the boot partition (disk I/O and block I/O for the media id).
[[nodiscard]] EFI_STATUS HfsBootVolumeUuid(EFI_HANDLE partition, char out[kVolumeUuidTextSize]);
