// Pictures stored in the firmware: raw sections of firmware files, found by name through the
// "GuidList" directory (itself a raw section). Directory records are 80 bytes: the firmware
// file's GUID, then its name in UCS-2, at most 31 characters and NUL-terminated in 64 bytes;
// the first record with an empty name ends the list.
#pragma once

#include "efi/efi.h"
#include "lib/span.h"

constexpr UINTN kPictureDirectoryRecordSize = 80;
constexpr UINTN kPictureDirectoryNameChars = 32;  // including the NUL

// The GUID of the file named name (8-bit, compared with the UCS-2 names). EFI_NOT_FOUND when
// the list ends (or the data does) before it; EFI_INVALID_PARAMETER for a missing argument.
EFI_STATUS FirmwarePictureDirectoryFind(ByteSpan directory, const char* name, EFI_GUID* out_guid);

// The caller's lookup: with a drawing scale of 2 or more the "NAME_2x" record first (the
// scale's number), then NAME. *scaled tells whether the scaled record was found.
EFI_STATUS FirmwarePictureDirectoryLookup(ByteSpan directory, const char* name, UINT32 scale, EFI_GUID* out_guid,
                                          BOOLEAN* scaled);

// The raw section of the firmware file from the first firmware volume that has it; every
// volume is tried in turn and EFI_NOT_FOUND from one moves to the next. *out_data is a
// tracked pool block the caller frees.
EFI_STATUS ReadFirmwarePicture(const EFI_GUID* file, void** out_data, UINTN* out_size);
