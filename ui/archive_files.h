// Reading resource archives from a volume: paths with "/" separators below a root directory,
// the localised copy of an archive before the built-in one.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/simple_file_system.h"
#include "ui/archive.h"

// Where the login window's archives live on the root volume.
inline constexpr char16_t kLocalizedArchiveFolder[] = u"/System/Library/Caches/com.tarn.lodestore/EFILoginLocalizations/";
inline constexpr char16_t kBuiltInArchiveFolder[] = u"/usr/standalone/i386/EfiLoginUI/";
// Room for a composed archive path, terminator included.
constexpr UINTN kArchivePathRoom = 128;
// Characters of a path that LWOpenFileAtPathWithRootFile reads; the rest is ignored.
constexpr UINTN kOpenPathMaxCharacters = 256;
// Archive files above this size are refused before any allocation.
constexpr UINT64 kArchiveMaxFileSize = 256ull << 20;

// Opens path (components separated by "/", empty components skipped) for reading, one
// component at a time from root, closing every intermediate directory. root stays open.
EFI_STATUS LWOpenFileAtPathWithRootFile(EFI_FILE_PROTOCOL* root, const CHAR16* path, EFI_FILE_PROTOCOL** out_file);

// Reads a whole file into a fresh pool block (*out_data, *out_size). 0, or -1 on failure.
INTN LWDataFromEfiFile(EFI_FILE_PROTOCOL* file, void** out_data, UINT64* out_size);

// LWDataFromEfiFile then an archive that owns the bytes.
UINT32 ArchiveCreateWithEfiFile(EFI_FILE_PROTOCOL* file, Archive** out_archive);

// Opens, reads and closes path below root.
UINT32 ArchiveCreateFromRootWithPath(EFI_FILE_PROTOCOL* root, const CHAR16* path, Archive** out_archive);

// The localised archive named name, else the built-in one; *is_localized (may be null)
// tells which. 1 for a missing output or name, 2 when neither loads.
UINT32 LWCreateLocalizedArchiveAdv(EFI_FILE_PROTOCOL* root, const CHAR16* name, Archive** out_archive,
                                   BOOLEAN* is_localized);
