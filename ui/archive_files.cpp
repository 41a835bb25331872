#include "ui/archive_files.h"

#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "draw/log_error.h"

namespace {

constexpr UINT64 kEndOfFile = ~0ull;

// prefix + name into room characters; false when it does not fit.
bool ComposePath(const CHAR16* prefix, const CHAR16* name, CHAR16* out, UINTN room) {
  UINTN prefix_length = StrLen16(prefix);
  UINTN name_length = StrLen16(name);
  if (prefix_length + name_length + 1 > room) return false;
  MemCopy(out, prefix, prefix_length * sizeof(CHAR16));
  MemCopy(out + prefix_length, name, name_length * sizeof(CHAR16));
  out[prefix_length + name_length] = 0;
  return true;
}

}  // namespace

EFI_STATUS LWOpenFileAtPathWithRootFile(EFI_FILE_PROTOCOL* root, const CHAR16* path, EFI_FILE_PROTOCOL** out_file) {
  if (!root || !path || !out_file) return EFI_INVALID_PARAMETER;
  *out_file = nullptr;
  CHAR16 copy[kOpenPathMaxCharacters + 1];
  UINTN length = 0;
  while (length < kOpenPathMaxCharacters && path[length]) {
    copy[length] = path[length];
    ++length;
  }
  copy[length] = 0;

  EFI_FILE_PROTOCOL* directory = root;
  UINTN start = 0;
  while (start < length) {
    UINTN end = start;
    while (end < length && copy[end] != u'/') ++end;
    if (end == start) {  // "//" or a leading "/"
      ++start;
      continue;
    }
    copy[end] = 0;
    EFI_FILE_PROTOCOL* next = nullptr;
    EFI_STATUS status = directory->Open(directory, &next, copy + start, EFI_FILE_MODE_READ, 0);
    if (EFI_ERROR(status)) {
      DULogError("LWOpenFileAtPathWithRootFile", "Failed to load \"%S\" failed", path);
      if (directory != root) directory->Close(directory);
      return status;
    }
    if (directory != root && EFI_ERROR(directory->Close(directory))) {
      DULogError("LWOpenFileAtPathWithRootFile", "dirfile->Close(dirfile)");
      next->Close(next);
      return EFI_DEVICE_ERROR;
    }
    directory = next;
    start = end + 1;
  }
  if (directory == root) return EFI_INVALID_PARAMETER;  // no component at all
  *out_file = directory;
  return EFI_SUCCESS;
}

INTN LWDataFromEfiFile(EFI_FILE_PROTOCOL* file, void** out_data, UINT64* out_size) {
  if (!file) {
    DULogError("LWDataFromEfiFile", "file is NULL");
    return -1;
  }
  if (!out_data || !out_size) {
    DULogError("LWDataFromEfiFile", "Failure while loading efi file");
    return -1;
  }
  *out_data = nullptr;
  *out_size = 0;
  UINT64 size = 0;
  if (EFI_ERROR(file->SetPosition(file, kEndOfFile)) || EFI_ERROR(file->GetPosition(file, &size)) ||
      EFI_ERROR(file->SetPosition(file, 0)) || size > kArchiveMaxFileSize) {
    DULogError("LWDataFromEfiFile", "Failure while loading efi file");
    return -1;
  }
  auto* data = static_cast<UINT8*>(PoolAllocate(size ? size : 1));
  if (!data) {
    DULogError("LWDataFromEfiFile", "Failure while loading efi file");
    return -1;
  }
  UINT64 done = 0;
  while (done < size) {
    UINTN chunk = size - done;
    if (EFI_ERROR(file->Read(file, &chunk, data + done)) || chunk == 0 || chunk > size - done) {
      DULogError("LWDataFromEfiFile", "Failure while loading efi file");
      PoolFree(data);
      return -1;
    }
    done += chunk;
  }
  *out_data = data;
  *out_size = size;
  return 0;
}

UINT32 ArchiveCreateWithEfiFile(EFI_FILE_PROTOCOL* file, Archive** out_archive) {
  if (!out_archive) {
    DULogError("ArchiveCreateWithEfiFile", "archive is NULL");
    return kArchiveNoOutput;
  }
  *out_archive = nullptr;
  void* data = nullptr;
  UINT64 size = 0;
  INTN err = LWDataFromEfiFile(file, &data, &size);
  if (err != 0) {
    DULogError("ArchiveCreateWithEfiFile", "LWDataFromEfiFile failed with err: %d", static_cast<INT32>(err));
    return kArchiveFailed;
  }
  if (!data) {
    DULogError("ArchiveCreateWithEfiFile", "LWDataFromEfiFile returned NULL pointer");
    return kArchiveFailed;
  }
  UINT32 result = ArchiveCreateOwning(data, size, out_archive);
  if (result != kArchiveOk) PoolFree(data);
  return result;
}

UINT32 ArchiveCreateFromRootWithPath(EFI_FILE_PROTOCOL* root, const CHAR16* path, Archive** out_archive) {
  if (!out_archive) {
    DULogError("ArchiveCreateFromRootWithPath", "archive is NULL!");
    return kArchiveNoOutput;
  }
  *out_archive = nullptr;
  EFI_FILE_PROTOCOL* file = nullptr;
  EFI_STATUS status = LWOpenFileAtPathWithRootFile(root, path, &file);
  if (EFI_ERROR(status)) {
    DULogError("ArchiveCreateFromRootWithPath", "LWOpenFileAtPathWithRootFile(%S) failed with err: %d", path,
               static_cast<INT32>(status & 0xFFFF));
    return kArchiveFailed;
  }
  UINT32 result = ArchiveCreateWithEfiFile(file, out_archive);
  if (result != kArchiveOk) DULogError("ArchiveCreateFromRootWithPath", "ArchiveCreateWithEfiFile failed!");
  if (EFI_ERROR(file->Close(file))) DULogError("ArchiveCreateFromRootWithPath", "outFile->Close(outFile) failed");
  return result;
}

UINT32 LWCreateLocalizedArchiveAdv(EFI_FILE_PROTOCOL* root, const CHAR16* name, Archive** out_archive,
                                   BOOLEAN* is_localized) {
  if (!out_archive) {
    DULogError("LWCreateLocalizedArchiveAdv", "archive is NULL");
    return kArchiveFailed;
  }
  *out_archive = nullptr;
  if (!name) {
    DULogError("LWCreateLocalizedArchiveAdv", "archiveFileName is NULL");
    return kArchiveFailed;
  }
  CHAR16 path[kArchivePathRoom];
  if (ComposePath(kLocalizedArchiveFolder, name, path, kArchivePathRoom) &&
      ArchiveCreateFromRootWithPath(root, path, out_archive) == kArchiveOk) {
    if (is_localized) *is_localized = TRUE;
    return kArchiveOk;
  }
  DULogError("LWCreateLocalizedArchiveAdv", "Cannot find localized archive %S in %S", name, kLocalizedArchiveFolder);
  if (ComposePath(kBuiltInArchiveFolder, name, path, kArchivePathRoom) &&
      ArchiveCreateFromRootWithPath(root, path, out_archive) == kArchiveOk) {
    if (is_localized) *is_localized = FALSE;
    return kArchiveOk;
  }
  DULogError("LWCreateLocalizedArchiveAdv", "Cannot find built-in archive %S in %S", name, kBuiltInArchiveFolder);
  return kArchiveMissing;
}
