// The firmware's recovery-password application and the picker check in front of it.
#include "flags/guids.h"
#include "config/start_keys.h"
#include "diag/device_path_build.h"
#include "efi/efi.h"
#include "efi/protocols/firmware_volume.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "lib/mem.h"

namespace {

#pragma pack(push, 1)
struct FirmwareFileNode {
  EFI_DEVICE_PATH_PROTOCOL Header;
  EFI_GUID Name;
};
#pragma pack(pop)
static_assert(sizeof(FirmwareFileNode) == 20);

// Reads a variable's attributes and, when it is small, its first bytes; false when absent.
bool ReadVariable(const CHAR16* name, const EFI_GUID& guid, UINT32* attributes, UINT8* data, UINTN* size) {
  UINTN room = *size;
  EFI_STATUS status = gRT->GetVariable(name, &guid, attributes, size, data);
  if (status != EFI_BUFFER_TOO_SMALL) return !EFI_ERROR(status);
  // Not every firmware reports the attributes on a short buffer: read the whole value.
  UINTN full = *size;
  void* buffer = PoolAllocate(full ? full : 1);
  if (!buffer) return false;
  status = gRT->GetVariable(name, &guid, attributes, &full, buffer);
  if (!EFI_ERROR(status)) MemCopy(data, buffer, full < room ? full : room);
  *size = full;
  PoolFree(buffer);
  return !EFI_ERROR(status);
}

bool VolatileVariable(const CHAR16* name, const EFI_GUID& guid, UINT8* data, UINTN* size) {
  UINT32 attributes = 0;
  return ReadVariable(name, guid, &attributes, data, size) && !(attributes & EFI_VARIABLE_NON_VOLATILE);
}

// The firmware volume's device path followed by the firmware-file node (pool; caller frees).
EFI_DEVICE_PATH_PROTOCOL* FirmwareFilePath(EFI_HANDLE volume) {
  void* volume_path = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(volume, &kEfiDevicePathProtocolGuid, &volume_path))) volume_path = nullptr;
  UINTN prefix = DevicePathPayloadSize(static_cast<EFI_DEVICE_PATH_PROTOCOL*>(volume_path));
  UINT8* path = static_cast<UINT8*>(PoolAllocate(prefix + sizeof(FirmwareFileNode) + 4));
  if (!path) return nullptr;
  if (prefix) MemCopy(path, volume_path, prefix);
  FirmwareFileNode node = {{MEDIA_DEVICE_PATH, MEDIA_PIWG_FW_FILE_DP, {sizeof(FirmwareFileNode), 0}},
                           kFirmwarePasswordApplicationGuid};
  MemCopy(path + prefix, &node, sizeof(node));
  UINT8 end[4] = {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0};
  MemCopy(path + prefix + sizeof(node), end, sizeof(end));
  return reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path);
}

bool VolumeHoldsApplication(EFI_HANDLE volume) {
  void* interface = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(volume, &kEfiFirmwareVolume2ProtocolGuid, &interface)) || !interface) return false;
  auto* fv = static_cast<EFI_FIRMWARE_VOLUME2_PROTOCOL*>(interface);
  UINTN size = 0;
  EFI_FV_FILETYPE type = 0;
  EFI_FV_FILE_ATTRIBUTES attributes = 0;
  UINT32 authentication = 0;
  // No buffer: the volume only reports whether and how it holds the file.
  return !EFI_ERROR(fv->ReadFile(fv, &kFirmwarePasswordApplicationGuid, nullptr, &size, &type, &attributes,
                                 &authentication));
}

EFI_STATUS LoadAndStart(EFI_HANDLE volume) {
  EFI_DEVICE_PATH_PROTOCOL* path = FirmwareFilePath(volume);
  if (!path) return EFI_OUT_OF_RESOURCES;
  EFI_HANDLE image = nullptr;
  EFI_STATUS status = gBS->LoadImage(FALSE, gImageHandle, path, nullptr, 0, &image);
  PoolFree(path);
  if (EFI_ERROR(status)) return status;
  return gBS->StartImage(image, nullptr, nullptr);
}

}  // namespace

bool StartedFromPicker() {
  UINT8 data[8] = {};
  UINTN size = sizeof(data);
  if (VolatileVariable(u"PickerEntryReason", TarnVendorGuid, data, &size)) return true;
  MemZero(data, sizeof(data));
  size = sizeof(data);
  return VolatileVariable(u"BootCurrent", kEfiGlobalVariableGuid, data, &size) && size >= 2 && LoadLe16(data) == 0;
}

EFI_STATUS StartFirmwareApplication() {
  HandleBuffer volumes;
  if (EFI_ERROR(volumes.Locate(kEfiFirmwareVolume2ProtocolGuid))) return EFI_NOT_FOUND;
  for (UINTN i = 0; i < volumes.count(); ++i) {
    if (VolumeHoldsApplication(volumes[i])) return LoadAndStart(volumes[i]);
  }
  return EFI_NOT_FOUND;
}
