// Files on the volumes the firmware exposes through the simple file system protocol.
#pragma once

#include "efi/efi.h"
#include "memory/owners.h"

// Opens path (a "\"-separated absolute path) for reading on the volume of the handle.
// Returns EFI_UNSUPPORTED when the handle has no file system, else the firmware's status.
[[nodiscard]] EFI_STATUS OpenVolumeFile(EFI_HANDLE volume, const CHAR16* path, OpenFile* file);

// Reads the whole file into pool memory. Files larger than max_size are refused with
// EFI_BAD_BUFFER_SIZE before anything is allocated.
[[nodiscard]] EFI_STATUS ReadVolumeFile(EFI_HANDLE volume, const CHAR16* path, UINTN max_size, PoolBuffer* contents,
                                        UINTN* size);
