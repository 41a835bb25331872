#include "platform/image_starter.h"

#include "efi/protocols/device_path.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "platform/volume_files.h"

namespace {

// Bounds the walk over a firmware device path; real ones are a few dozen bytes.
constexpr UINTN kMaxDevicePathSize = 4096;
constexpr UINTN kEndNodeSize = sizeof(EFI_DEVICE_PATH_PROTOCOL);

// The size of the path up to (not including) its end node.
EFI_STATUS DevicePathPrefixSize(const EFI_DEVICE_PATH_PROTOCOL* path, UINTN* size) {
  UINTN total = 0;
  const EFI_DEVICE_PATH_PROTOCOL* node = path;
  while (!IsDevicePathEnd(node)) {
    UINTN length = DevicePathNodeLength(node);
    if (length < sizeof(EFI_DEVICE_PATH_PROTOCOL) || total + length > kMaxDevicePathSize) return EFI_VOLUME_CORRUPTED;
    total += length;
    node = NextDevicePathNode(node);
  }
  *size = total;
  return EFI_SUCCESS;
}

bool VolumeHasFile(EFI_HANDLE volume, const CHAR16* path) {
  OpenFile file;
  return OpenVolumeFile(volume, path, &file) == EFI_SUCCESS;
}

}  // namespace

EFI_STATUS FindFileOnVolumes(const CHAR16* path, EFI_HANDLE* volume) {
  HandleBuffer handles;
  EFI_STATUS status = handles.Locate(kEfiSimpleFileSystemProtocolGuid);
  if (EFI_ERROR(status)) return status;
  for (UINTN i = 0; i < handles.count(); ++i) {
    if (VolumeHasFile(handles[i], path)) {
      *volume = handles[i];
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS BuildFileDevicePath(EFI_HANDLE volume, const CHAR16* path, PoolBuffer* device_path) {
  EFI_DEVICE_PATH_PROTOCOL* prefix = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(volume, &kEfiDevicePathProtocolGuid, reinterpret_cast<void**>(&prefix));
  if (EFI_ERROR(status) || !prefix) return EFI_NOT_FOUND;
  UINTN prefix_size = 0;
  if ((status = DevicePathPrefixSize(prefix, &prefix_size)) != EFI_SUCCESS) return status;
  UINTN name_bytes = (StrLen16(path) + 1) * sizeof(CHAR16);
  UINTN node_size = sizeof(EFI_DEVICE_PATH_PROTOCOL) + name_bytes;
  if (node_size > 0xFFFF) return EFI_INVALID_PARAMETER;
  if ((status = device_path->Allocate(prefix_size + node_size + kEndNodeSize)) != EFI_SUCCESS) return status;

  UINT8* out = device_path->get<UINT8>();
  MemCopy(out, prefix, prefix_size);
  auto* node = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(out + prefix_size);
  node->Type = MEDIA_DEVICE_PATH;
  node->SubType = MEDIA_FILEPATH_DP;
  SetDevicePathNodeLength(node, node_size);
  MemCopy(out + prefix_size + sizeof(EFI_DEVICE_PATH_PROTOCOL), path, name_bytes);
  auto* end = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(out + prefix_size + node_size);
  end->Type = END_DEVICE_PATH_TYPE;
  end->SubType = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  SetDevicePathNodeLength(end, kEndNodeSize);
  return EFI_SUCCESS;
}

EFI_STATUS LoadAndStartImage(EFI_HANDLE volume, const CHAR16* path, EFI_STATUS* exit_status) {
  PoolBuffer device_path;
  EFI_STATUS status = BuildFileDevicePath(volume, path, &device_path);
  if (EFI_ERROR(status)) return status;
  EFI_HANDLE image = nullptr;
  status = gBS->LoadImage(FALSE, gImageHandle, device_path.get<EFI_DEVICE_PATH_PROTOCOL>(), nullptr, 0, &image);
  if (EFI_ERROR(status)) {
    // A failed signature check still loads the image; it must not stay behind.
    if (status == EFI_SECURITY_VIOLATION && image) gBS->UnloadImage(image);
    return status;
  }
  UINTN exit_data_size = 0;
  CHAR16* exit_data = nullptr;
  *exit_status = gBS->StartImage(image, &exit_data_size, &exit_data);
  PoolBuffer exit_data_owner;
  (void)exit_data_owner.Adopt(exit_data);  // only to free it
  return EFI_SUCCESS;
}

const char* ImageRefusalReason(EFI_STATUS status) {
  if (status != EFI_ACCESS_DENIED && status != EFI_SECURITY_VIOLATION) return nullptr;
  return "it carries no signature the firmware trusts (unsigned, signed by a key not in the firmware's db, "
         "or changed after signing)";
}
