#include "config/boot_options_booter.h"

#include "diag/device_path_build.h"
#include "efi/efi.h"
#include "efi/protocols/loaded_image.h"
#include "memory/memory.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

EFI_LOADED_IMAGE_PROTOCOL* BooterImage() {
  if (!gBS || !gImageHandle) return nullptr;
  void* image = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(gImageHandle, &kEfiLoadedImageProtocolGuid, &image))) return nullptr;
  return static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(image);
}

EFI_DEVICE_PATH_PROTOCOL* BooterDevicePath(EFI_LOADED_IMAGE_PROTOCOL* image) {
  if (!image || !image->DeviceHandle) return nullptr;
  void* path = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(image->DeviceHandle, &kEfiDevicePathProtocolGuid, &path))) return nullptr;
  return static_cast<EFI_DEVICE_PATH_PROTOCOL*>(path);
}

// Appends the name held by a file-path node (up to its first NUL) to buffer[*used...].
bool AppendNodeName(ByteSpan node, CHAR16* buffer, UINTN count, UINTN* used) {
  for (size_t offset = 4; offset + 1 < node.size(); offset += 2) {
    uint16_t c = 0;
    node.ReadLe16(offset, &c);
    if (c == 0) break;
    if (*used + 1 >= count) return false;
    buffer[(*used)++] = c;
  }
  return true;
}

bool HasMacNode(const EFI_DEVICE_PATH_PROTOCOL* path) {
  if (!path) return false;
  ByteSpan bytes(path, DevicePathPayloadSize(path));
  ByteSpan node;
  for (size_t offset = 0; DevicePathNodeAt(bytes, offset, &node); offset += node.size()) {
    if (node.data()[0] == MESSAGING_DEVICE_PATH && node.data()[1] == MSG_MAC_ADDR_DP) return true;
  }
  return false;
}

UINTN LastSeparatorEnd(const CHAR16* path) {
  UINTN end = 0;
  for (UINTN i = 0; path[i]; ++i) {
    if (path[i] == u'\\' || path[i] == u'/') end = i + 1;
  }
  return end;
}

}  // namespace

EFI_STATUS BooterFilePath(CHAR16* buffer, UINTN count) {
  EFI_LOADED_IMAGE_PROTOCOL* image = BooterImage();
  if (!image || !image->FilePath || count == 0) return EFI_NOT_FOUND;
  ByteSpan bytes(image->FilePath, DevicePathPayloadSize(image->FilePath));
  ByteSpan node;
  UINTN used = 0;
  bool found = false;
  for (size_t offset = 0; DevicePathNodeAt(bytes, offset, &node); offset += node.size()) {
    if (node.data()[0] != MEDIA_DEVICE_PATH || node.data()[1] != MEDIA_FILEPATH_DP) {
      if (found) break;
      continue;
    }
    found = true;
    if (!AppendNodeName(node, buffer, count, &used)) return EFI_BUFFER_TOO_SMALL;
  }
  buffer[used] = 0;
  return found ? EFI_SUCCESS : EFI_NOT_FOUND;
}

EFI_STATUS JoinPath(const CHAR16* path_prefix, const CHAR16* name, CHAR16* buffer, UINTN count) {
  UINTN a = StrLen16(path_prefix);
  UINTN b = StrLen16(name);
  if (count == 0 || a > count - 1 || b > count - 1 - a) return EFI_BUFFER_TOO_SMALL;
  MemCopy(buffer, path_prefix, a * sizeof(CHAR16));
  MemCopy(buffer + a, name, b * sizeof(CHAR16));
  buffer[a + b] = 0;
  return EFI_SUCCESS;
}

EFI_STATUS BooterSiblingPath(const CHAR16* name, CHAR16* buffer, UINTN count) {
  EFI_STATUS status = BooterFilePath(buffer, count);
  if (EFI_ERROR(status)) return status;
  UINTN keep = LastSeparatorEnd(buffer);
  UINTN b = StrLen16(name);
  if (b > count - 1 - keep) return EFI_BUFFER_TOO_SMALL;
  MemCopy(buffer + keep, name, b * sizeof(CHAR16));
  buffer[keep + b] = 0;
  return EFI_SUCCESS;
}

bool BooterOnNetwork() {
  EFI_LOADED_IMAGE_PROTOCOL* image = BooterImage();
  if (!image) return false;
  return HasMacNode(BooterDevicePath(image)) || HasMacNode(image->FilePath);
}

EFI_DEVICE_PATH_PROTOCOL* BooterSiblingDevicePath(const CHAR16* name) {
  EFI_LOADED_IMAGE_PROTOCOL* image = BooterImage();
  if (!image) return nullptr;
  static_assert(kBootOptionsPathChars * sizeof(CHAR16) == 2048);
  CHAR16* path = static_cast<CHAR16*>(PoolAllocate(kBootOptionsPathChars * sizeof(CHAR16)));
  if (!path) return nullptr;
  EFI_DEVICE_PATH_PROTOCOL* result = nullptr;
  if (!EFI_ERROR(BooterSiblingPath(name, path, kBootOptionsPathChars))) {
    result = AppendFilePathNode(BooterDevicePath(image), path);
  }
  PoolFree(path);
  return result;
}
