// LoadWholeFile: open, size, read and close in one call.
#include "memory/memory.h"
#include "files/boot_file.h"
#include "lib/mem.h"

namespace {

// Joins the names of the first run of file-path nodes into one path (pool; caller frees).
EFI_STATUS PathFromDevicePath(EFI_DEVICE_PATH_PROTOCOL* device_path, CHAR16** path) {
  EFI_DEVICE_PATH_PROTOCOL* node = device_path;
  while (!IsDevicePathEnd(node) && !(node->Type == MEDIA_DEVICE_PATH && node->SubType == MEDIA_FILEPATH_DP)) {
    if (DevicePathNodeLength(node) < 4) return EFI_INVALID_PARAMETER;
    node = NextDevicePathNode(node);
  }
  if (IsDevicePathEnd(node)) return EFI_INVALID_PARAMETER;
  // The joined names cannot be longer than the nodes that hold them.
  UINTN room = 0;
  for (EFI_DEVICE_PATH_PROTOCOL* n = node; n->Type == MEDIA_DEVICE_PATH && n->SubType == MEDIA_FILEPATH_DP;
       n = NextDevicePathNode(n)) {
    if (DevicePathNodeLength(n) < 4) return EFI_INVALID_PARAMETER;
    room += DevicePathNodeLength(n);
  }
  CHAR16* out = static_cast<CHAR16*>(PoolAllocateZero(room + sizeof(CHAR16)));
  if (!out) return EFI_OUT_OF_RESOURCES;
  UINTN used = 0;
  for (; node->Type == MEDIA_DEVICE_PATH && node->SubType == MEDIA_FILEPATH_DP; node = NextDevicePathNode(node)) {
    const UINT8* name = reinterpret_cast<const UINT8*>(node) + 4;
    UINTN chars = (DevicePathNodeLength(node) - 4) / 2;
    for (UINTN i = 0; i < chars; ++i) {
      CHAR16 c = static_cast<CHAR16>(LoadLe16(name + 2 * i));
      if (!c) break;
      out[used++] = c;
    }
  }
  out[used] = 0;
  *path = out;
  return EFI_SUCCESS;
}

EFI_STATUS CopyDevicePath(EFI_DEVICE_PATH_PROTOCOL* path, EFI_DEVICE_PATH_PROTOCOL** copy) {
  UINTN length = 0;
  for (EFI_DEVICE_PATH_PROTOCOL* n = path;; n = NextDevicePathNode(n)) {
    UINTN node_length = DevicePathNodeLength(n);
    if (node_length < 4) return EFI_INVALID_PARAMETER;
    length += node_length;
    if (IsDevicePathEnd(n)) break;
  }
  *copy = static_cast<EFI_DEVICE_PATH_PROTOCOL*>(PoolAllocate(length));
  if (!*copy) return EFI_OUT_OF_RESOURCES;
  MemCopy(*copy, path, length);
  return EFI_SUCCESS;
}

EFI_STATUS OpenForWholeRead(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                            EFI_DEVICE_PATH_PROTOCOL* device_path, BootFile* file) {
  if (device_path && !load_file) {
    CHAR16* joined = nullptr;
    EFI_STATUS status = PathFromDevicePath(device_path, &joined);
    if (EFI_ERROR(status)) return status;
    status = BootFileOpen(nullptr, root, joined, file);
    PoolFree(joined);
    return status;
  }
  if (device_path) {
    MemZero(file, sizeof(*file));
    file->LoadFileSource = load_file;
    return CopyDevicePath(device_path, &file->DevicePath);
  }
  return BootFileOpen(load_file, root, path, file);
}

}  // namespace

EFI_STATUS LoadWholeFile(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                         EFI_DEVICE_PATH_PROTOCOL* device_path, UINT64* size, void** buffer) {
  BootFile file;
  EFI_STATUS status = OpenForWholeRead(load_file, root, path, device_path, &file);
  if (EFI_ERROR(status)) return status;
  UINT64 total = 0;
  status = BootFileGetSize(&file, &total);
  void* data = nullptr;
  if (!EFI_ERROR(status) && total != 0) {
    data = PoolAllocate(total);
    if (!data) {
      BootFileClose(&file);
      return EFI_OUT_OF_RESOURCES;
    }
    UINT64 read = total;
    status = BootFileRead(&file, &read, data);
    if (!EFI_ERROR(status) && read != total) status = EFI_END_OF_FILE;  // the file shrank under us
  }
  BootFileClose(&file);
  if (EFI_ERROR(status)) {
    PoolFree(data);
    return status;
  }
  *size = total;
  *buffer = data;
  return EFI_SUCCESS;
}
