#include "platform/network_start.h"

#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "memory/owners.h"
#include "platform/serial_output.h"

namespace {

// 2: a MAC node followed by an IPv4 node; 1: a MAC node; 0: neither.
int NetworkRank(const EFI_DEVICE_PATH_PROTOCOL* path) {
  int rank = 0;
  for (const EFI_DEVICE_PATH_PROTOCOL* node = path; node && !IsDevicePathEnd(node); node = NextDevicePathNode(node)) {
    if (DevicePathNodeLength(node) < 4) return 0;
    if (node->Type != MESSAGING_DEVICE_PATH) continue;
    if (node->SubType == MSG_MAC_ADDR_DP) rank = 1;
    if (node->SubType == MSG_IPv4_DP && rank >= 1) rank = 2;
  }
  return rank;
}

}  // namespace

EFI_STATUS FindNetworkBootSource(EFI_HANDLE* source) {
  HandleBuffer handles;
  if (EFI_ERROR(handles.Locate(kEfiLoadFileProtocolGuid))) return EFI_NOT_FOUND;
  int best = 0;
  for (UINTN i = 0; i < handles.count(); ++i) {
    void* path = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiDevicePathProtocolGuid, &path))) continue;
    int rank = NetworkRank(static_cast<EFI_DEVICE_PATH_PROTOCOL*>(path));
    if (rank > best) {
      best = rank;
      *source = handles[i];
    }
  }
  return best ? EFI_SUCCESS : EFI_NOT_FOUND;
}

EFI_STATUS LoadAndStartFromNetwork(EFI_HANDLE source, EFI_STATUS* exit_status) {
  void* path = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(source, &kEfiDevicePathProtocolGuid, &path);
  if (EFI_ERROR(status)) return status;
  EFI_HANDLE image = nullptr;
  status = gBS->LoadImage(TRUE, gImageHandle, static_cast<EFI_DEVICE_PATH_PROTOCOL*>(path), nullptr, 0, &image);
  if (EFI_ERROR(status)) {
    if (status == EFI_SECURITY_VIOLATION && image) gBS->UnloadImage(image);
    return status;
  }
  UINTN exit_data_size = 0;
  CHAR16* exit_data = nullptr;
  *exit_status = gBS->StartImage(image, &exit_data_size, &exit_data);
  PoolBuffer exit_data_owner;
  (void)exit_data_owner.Adopt(exit_data);  // untracked, it is freed at once; nobody reads it
  return EFI_SUCCESS;
}
