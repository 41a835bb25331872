#include "files/boot_file.h"

#include "output/error_report.h"
#include "output/console.h"
#include "memory/memory.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

UINT64 gReadSize = kDefaultKcReadSize;

void ResetReadSize() { gReadSize = kDefaultKcReadSize; }
HEARTH_HOST_RESET(ResetReadSize);

constexpr UINTN kInitialInfoSize = 208;

// A device path of one media file-path node holding path, and an end node.
EFI_DEVICE_PATH_PROTOCOL* FilePathNode(const CHAR16* path) {
  UINTN chars = StrLen16(path);
  UINTN bytes = chars * 2 * 2 + 10;  // twice the path length plus 10, zero-filled
  UINT8* p = static_cast<UINT8*>(PoolAllocateZero(bytes));
  if (!p) return nullptr;
  UINTN node_length = 4 + (chars + 1) * 2;
  auto* node = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(p);
  node->Type = MEDIA_DEVICE_PATH;
  node->SubType = MEDIA_FILEPATH_DP;
  SetDevicePathNodeLength(node, node_length);
  MemCopy(p + 4, path, chars * 2);
  auto* end = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(p + node_length);
  end->Type = END_DEVICE_PATH_TYPE;
  end->SubType = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  SetDevicePathNodeLength(end, 4);
  return node;
}

EFI_STATUS ReadVolume(BootFile* file, UINT64* size, void* buffer) {
  UINT64 wanted = *size;
  UINT64 done = 0;
  EFI_STATUS status = EFI_SUCCESS;
  while (done < wanted) {
    UINTN piece = static_cast<UINTN>(wanted - done < gReadSize ? wanted - done : gReadSize);
    status = file->FileHandle->Read(file->FileHandle, &piece, static_cast<UINT8*>(buffer) + done);
    if (EFI_ERROR(status)) {
      ConsolePrint("Read error 0x%x\n", status);
      break;
    }
    if (piece == 0) break;
    done += piece;
  }
  *size = done;
  return status;
}

EFI_STATUS ReadMemory(BootFile* file, UINT64* size, void* buffer) {
  UINT64 left = file->Position < file->Size ? file->Size - file->Position : 0;
  UINT64 n = *size < left ? *size : left;
  MemCopy(buffer, file->Buffer + file->Position, n);
  file->Position += n;
  *size = n;
  return EFI_SUCCESS;
}

EFI_STATUS ReadLoadFile(BootFile* file, UINT64* size, void* buffer) {
  UINT64 total = 0;
  EFI_STATUS status = BootFileGetSize(file, &total);
  if (EFI_ERROR(status)) return status;
  if (!file->Buffer && file->Position == 0 && *size >= total) {
    // The whole file from the start: straight into the caller's buffer, no second copy.
    UINTN n = total;
    status = file->LoadFileSource->LoadFile(file->LoadFileSource, file->DevicePath, FALSE, &n, buffer);
    *size = n;
    if (!EFI_ERROR(status)) file->Position = n;
    return status;
  }
  if (!file->Buffer) {
    file->Buffer = static_cast<UINT8*>(PoolAllocate(total + EFI_PAGE_SIZE));
    if (!file->Buffer) return EFI_OUT_OF_RESOURCES;
    UINTN n = total;
    status = file->LoadFileSource->LoadFile(file->LoadFileSource, file->DevicePath, FALSE, &n, file->Buffer);
    if (EFI_ERROR(status)) {
      PoolFree(file->Buffer);
      file->Buffer = nullptr;
      return status;
    }
    if (n != total) {
      PoolFree(file->Buffer);
      file->Buffer = nullptr;
      return ReportError(kStatusBootEnding, "Network file size mismatch\n");
    }
  }
  return ReadMemory(file, size, buffer);
}

}  // namespace

void BootFileSetReadSize(UINT64 bytes) { gReadSize = bytes ? bytes : kDefaultKcReadSize; }

void BootFileFromMemory(const void* data, UINT64 size, BootFile* file) {
  MemZero(file, sizeof(*file));
  file->Buffer = static_cast<UINT8*>(const_cast<void*>(data));
  file->Size = size;
}

EFI_STATUS BootFileOpen(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                        BootFile* file) {
  MemZero(file, sizeof(*file));
  if (load_file) {
    file->LoadFileSource = load_file;
    file->DevicePath = FilePathNode(path);
    return file->DevicePath ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  }
  if (!root || !path) return EFI_INVALID_PARAMETER;
  return root->Open(root, &file->FileHandle, path, EFI_FILE_MODE_READ, 0);
}

EFI_STATUS BootFileGetInfo(EFI_FILE_PROTOCOL* handle, EFI_FILE_INFO** info) {
  UINTN size = kInitialInfoSize;
  void* buffer = PoolAllocate(size);
  if (!buffer) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = handle->GetInfo(handle, &kEfiFileInfoGuid, &size, buffer);
  if (status == EFI_BUFFER_TOO_SMALL) {
    PoolFree(buffer);
    buffer = PoolAllocate(size);
    if (!buffer) return EFI_OUT_OF_RESOURCES;
    status = handle->GetInfo(handle, &kEfiFileInfoGuid, &size, buffer);
  }
  if (EFI_ERROR(status) || size < kEfiFileInfoHeaderSize) {
    PoolFree(buffer);
    ConsolePrint("Couldn't get file info.\n");
    return EFI_ERROR(status) ? status : EFI_VOLUME_CORRUPTED;
  }
  *info = static_cast<EFI_FILE_INFO*>(buffer);
  return EFI_SUCCESS;
}

EFI_STATUS BootFileGetSize(BootFile* file, UINT64* size) {
  if (file->LoadFileSource) {
    if (file->Size) {
      *size = file->Size;
      return EFI_SUCCESS;
    }
    UINTN n = 0;
    EFI_STATUS status = file->LoadFileSource->LoadFile(file->LoadFileSource, file->DevicePath, FALSE, &n, nullptr);
    if (status != EFI_BUFFER_TOO_SMALL) return status;
    file->Size = *size = n;
    return EFI_SUCCESS;
  }
  if (file->FileHandle) {
    EFI_FILE_INFO* info = nullptr;
    if (EFI_ERROR(BootFileGetInfo(file->FileHandle, &info))) {
      ConsolePrint("Couldn't get file size.\n");
      return EFI_OUT_OF_RESOURCES;
    }
    *size = info->FileSize;
    PoolFree(info);
    return EFI_SUCCESS;
  }
  if (file->Buffer) {
    *size = file->Size;
    return EFI_SUCCESS;
  }
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS BootFileRead(BootFile* file, UINT64* size, void* buffer) {
  if (file->LoadFileSource) return ReadLoadFile(file, size, buffer);
  if (file->FileHandle) return ReadVolume(file, size, buffer);
  if (file->Buffer) return ReadMemory(file, size, buffer);
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS BootFileSetPosition(BootFile* file, UINT64 position) {
  if (file->FileHandle) return file->FileHandle->SetPosition(file->FileHandle, position);
  UINT64 size = 0;
  EFI_STATUS status = BootFileGetSize(file, &size);
  if (EFI_ERROR(status)) return status;
  if (position > size) return EFI_INVALID_PARAMETER;
  file->Position = position;
  return EFI_SUCCESS;
}

void BootFileClose(BootFile* file) {
  file->Size = 0;
  file->Position = 0;
  if (file->LoadFileSource) {
    PoolFree(file->DevicePath);
    PoolFree(file->Buffer);
    file->DevicePath = nullptr;
    file->Buffer = nullptr;
  } else if (file->FileHandle) {
    file->FileHandle->Close(file->FileHandle);
    file->FileHandle = nullptr;
  }
}
