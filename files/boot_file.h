// One file abstraction over a volume file, a network LoadFile source and a memory buffer,
// so the kernel loader reads all three alike.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"

struct BootFile {
  EFI_LOAD_FILE_PROTOCOL* LoadFileSource;  // network source, or null
  EFI_FILE_PROTOCOL* FileHandle;           // volume source, or null
  EFI_DEVICE_PATH_PROTOCOL* DevicePath;    // LoadFile: the path naming the file (owned)
  UINT8* Buffer;                           // the whole file in memory, or null
  UINT64 Position;                         // LoadFile and memory sources
  UINT64 Size;                             // LoadFile and memory sources, once known
};
static_assert(sizeof(BootFile) == 48);

constexpr UINT64 kDefaultKcReadSize = 0x100000;

// The largest single read issued to a volume file ("kc-read-size"; 0 restores the default).
void BootFileSetReadSize(UINT64 bytes);

// A memory source over a buffer its creator keeps owning.
void BootFileFromMemory(const void* data, UINT64 size, BootFile* file);

[[nodiscard]] EFI_STATUS BootFileOpen(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                                      BootFile* file);
// File information in a pool buffer the caller frees.
[[nodiscard]] EFI_STATUS BootFileGetInfo(EFI_FILE_PROTOCOL* handle, EFI_FILE_INFO** info);
[[nodiscard]] EFI_STATUS BootFileGetSize(BootFile* file, UINT64* size);
[[nodiscard]] EFI_STATUS BootFileRead(BootFile* file, UINT64* size, void* buffer);
[[nodiscard]] EFI_STATUS BootFileSetPosition(BootFile* file, UINT64 position);
void BootFileClose(BootFile* file);

// Reads a whole file into a new pool buffer (the caller frees it); a file of size 0 gives
// size 0 and no buffer.
[[nodiscard]] EFI_STATUS LoadWholeFile(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                                       EFI_DEVICE_PATH_PROTOCOL* device_path, UINT64* size, void** buffer);

// Picks the x86-64 slice of a universal file (or the whole file when it is not universal)
// and leaves the position at its offset.
[[nodiscard]] EFI_STATUS SelectFileSlice(BootFile* file, UINT64* offset, UINT64* size);
