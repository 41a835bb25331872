#include "kernel/kernel_cache_device_path.h"

#include "diag/device_path_text.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

bool IsFilePathNode(const EFI_DEVICE_PATH_PROTOCOL* node) {
  return node->Type == MEDIA_DEVICE_PATH && node->SubType == MEDIA_FILEPATH_DP;
}

UINTN WellFormedSize(const EFI_DEVICE_PATH_PROTOCOL* path) {
  UINTN size = 0;
  const EFI_DEVICE_PATH_PROTOCOL* node = path;
  while (!IsDevicePathEnd(node)) {
    size += DevicePathNodeLength(node);
    node = NextDevicePathNode(node);
  }
  return size + DevicePathNodeLength(node);
}

}  // namespace

bool KernelCacheDevicePathSize(const void* data, UINTN max_bytes, UINTN* size) {
  if (!data) return false;
  const UINT8* bytes = static_cast<const UINT8*>(data);
  UINTN at = 0;
  while (max_bytes - at >= sizeof(EFI_DEVICE_PATH_PROTOCOL)) {
    const auto* node = reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(bytes + at);
    UINTN length = DevicePathNodeLength(node);
    if (length < sizeof(EFI_DEVICE_PATH_PROTOCOL) || length > max_bytes - at) return false;
    at += length;
    if (IsDevicePathEnd(node)) {
      *size = at;
      return true;
    }
  }
  return false;
}

bool KernelCacheDevicePathHasMacNode(const EFI_DEVICE_PATH_PROTOCOL* path) {
  for (const EFI_DEVICE_PATH_PROTOCOL* node = path; !IsDevicePathEnd(node); node = NextDevicePathNode(node)) {
    if (node->Type == MESSAGING_DEVICE_PATH && node->SubType == MSG_MAC_ADDR_DP) return true;
  }
  return false;
}

EFI_DEVICE_PATH_PROTOCOL* KernelCacheCopyDevicePath(const EFI_DEVICE_PATH_PROTOCOL* path) {
  UINTN size = WellFormedSize(path);
  void* copy = PoolAllocate(size);
  if (copy) MemCopy(copy, path, size);
  return static_cast<EFI_DEVICE_PATH_PROTOCOL*>(copy);
}

CHAR16* KernelCacheDevicePathFileText(const EFI_DEVICE_PATH_PROTOCOL* path) {
  const EFI_DEVICE_PATH_PROTOCOL* first = path;
  while (!IsDevicePathEnd(first) && !IsFilePathNode(first)) first = NextDevicePathNode(first);
  if (IsDevicePathEnd(first)) return DevicePathToText(path);
  // The joined names are never longer than the nodes that hold them.
  UINTN room = sizeof(CHAR16);
  for (const EFI_DEVICE_PATH_PROTOCOL* n = first; IsFilePathNode(n); n = NextDevicePathNode(n)) {
    room += DevicePathNodeLength(n);
  }
  CHAR16* text = static_cast<CHAR16*>(PoolAllocate(room));
  if (!text) return nullptr;
  UINTN used = 0;
  for (const EFI_DEVICE_PATH_PROTOCOL* n = first; IsFilePathNode(n); n = NextDevicePathNode(n)) {
    const UINT8* name = reinterpret_cast<const UINT8*>(n) + sizeof(EFI_DEVICE_PATH_PROTOCOL);
    UINTN chars = (DevicePathNodeLength(n) - sizeof(EFI_DEVICE_PATH_PROTOCOL)) / sizeof(CHAR16);
    for (UINTN i = 0; i < chars; ++i) {
      CHAR16 c = static_cast<CHAR16>(LoadLe16(name + 2 * i));
      if (c == 0) break;
      text[used++] = c;
    }
  }
  text[used] = 0;
  return text;
}
