#include "platform/volume_files.h"

#include "efi/protocols/simple_file_system.h"

namespace {

EFI_STATUS FileSize(EFI_FILE_PROTOCOL* file, UINT64* size) {
  UINTN info_size = 0;
  EFI_STATUS status = file->GetInfo(file, &kEfiFileInfoGuid, &info_size, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(status) ? status : EFI_DEVICE_ERROR;
  if (info_size < kEfiFileInfoHeaderSize) return EFI_DEVICE_ERROR;
  PoolBuffer info;
  if (EFI_STATUS s = info.Allocate(info_size); EFI_ERROR(s)) return s;
  status = file->GetInfo(file, &kEfiFileInfoGuid, &info_size, info.get());
  if (EFI_ERROR(status)) return status;
  *size = info.get<EFI_FILE_INFO>()->FileSize;
  return EFI_SUCCESS;
}

// Reads exactly size bytes; a file system may hand them over in several pieces.
EFI_STATUS ReadExactly(EFI_FILE_PROTOCOL* file, UINT8* buffer, UINTN size) {
  UINTN done = 0;
  while (done < size) {
    UINTN chunk = size - done;
    EFI_STATUS status = file->Read(file, &chunk, buffer + done);
    if (EFI_ERROR(status)) return status;
    if (chunk == 0) return EFI_END_OF_FILE;  // the file shrank under us
    done += chunk;
  }
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS OpenVolumeFile(EFI_HANDLE volume, const CHAR16* path, OpenFile* file) {
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* fs = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(volume, &kEfiSimpleFileSystemProtocolGuid, reinterpret_cast<void**>(&fs));
  if (EFI_ERROR(status) || !fs) return EFI_UNSUPPORTED;
  OpenFile root;
  status = fs->OpenVolume(fs, root.out());
  if (EFI_ERROR(status)) return status;
  return root.get()->Open(root.get(), file->out(), path, EFI_FILE_MODE_READ, 0);
}

EFI_STATUS ReadVolumeFile(EFI_HANDLE volume, const CHAR16* path, UINTN max_size, PoolBuffer* contents, UINTN* size) {
  OpenFile file;
  EFI_STATUS status = OpenVolumeFile(volume, path, &file);
  if (EFI_ERROR(status)) return status;
  UINT64 file_size = 0;
  if ((status = FileSize(file.get(), &file_size)) != EFI_SUCCESS) return status;
  if (file_size > max_size) return EFI_BAD_BUFFER_SIZE;
  if ((status = contents->Allocate(static_cast<UINTN>(file_size))) != EFI_SUCCESS) return status;
  if ((status = ReadExactly(file.get(), contents->get<UINT8>(), static_cast<UINTN>(file_size))) != EFI_SUCCESS) {
    contents->Free();
    return status;
  }
  *size = static_cast<UINTN>(file_size);
  return EFI_SUCCESS;
}
