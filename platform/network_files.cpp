#include "platform/network_files.h"

#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/pxe_base_code.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "platform/serial_output.h"

namespace {

constexpr UINTN kMaxName = 256;

struct NetworkFiles {
  EFI_LOAD_FILE_PROTOCOL wrapper;  // first member: the protocol pointer is the record
  EFI_LOAD_FILE_PROTOCOL* original;
  EFI_PXE_BASE_CODE_PROTOCOL* pxe;
  EFI_HANDLE handle;
  UINT32 latency_ms;
};
NetworkFiles gNetworkFiles = {};

void ResetNetworkFiles() { gNetworkFiles = {}; }
HEARTH_HOST_RESET(ResetNetworkFiles);

EFI_STATUS EFIAPI LoadNetworkFile(EFI_LOAD_FILE_PROTOCOL* self, EFI_DEVICE_PATH_PROTOCOL* path, BOOLEAN boot_policy,
                                  UINTN* size, VOID* buffer) {
  NetworkFiles* files = reinterpret_cast<NetworkFiles*>(self);
  if (boot_policy || !path || IsDevicePathEnd(path)) {
    return files->original->LoadFile(files->original, path, boot_policy, size, buffer);
  }
  if (!size) return EFI_INVALID_PARAMETER;
  UINT16 length = DevicePathNodeLength(path);
  if (path->Type != MEDIA_DEVICE_PATH || path->SubType != MEDIA_FILEPATH_DP || length < 6) return EFI_NOT_FOUND;
  char name[kMaxName];
  const CHAR16* text = reinterpret_cast<const CHAR16*>(reinterpret_cast<const UINT8*>(path) + 4);
  if (!NetworkFileName(text, (length - 4) / 2, name, sizeof(name))) return EFI_NOT_FOUND;
  EFI_IP_ADDRESS server = {};
  MemCopy(server.v4, files->pxe->Mode->DhcpAck + kBootpServerAddressOffset, 4);
  UINT64 file_size = 0;
  EFI_STATUS status = files->pxe->Mtftp(files->pxe, EFI_PXE_BASE_CODE_TFTP_GET_FILE_SIZE, nullptr, FALSE, &file_size,
                                        nullptr, &server, reinterpret_cast<UINT8*>(name), nullptr, FALSE);
  PlatformText line;
  line.Add("platform: network file ").Add(name);
  if (EFI_ERROR(status)) {
    SerialWriteLine(line.Add(": ").AddStatus(status));
    return EFI_NOT_FOUND;
  }
  if (!buffer || *size < file_size) {
    *size = static_cast<UINTN>(file_size);
    SerialWriteLine(line.Add(" (").AddDecimal(file_size).Add(" bytes)"));
    return EFI_BUFFER_TOO_SMALL;
  }
  if (files->latency_ms) gBS->Stall(UINTN(files->latency_ms) * 1000);
  UINT64 read = *size;
  status = files->pxe->Mtftp(files->pxe, EFI_PXE_BASE_CODE_TFTP_READ_FILE, buffer, FALSE, &read, nullptr, &server,
                             reinterpret_cast<UINT8*>(name), nullptr, FALSE);
  *size = static_cast<UINTN>(read);
  SerialWriteLine(EFI_ERROR(status) ? line.Add(" not read: ").AddStatus(status)
                                    : line.Add(" read (").AddDecimal(read).Add(" bytes)"));
  return status;
}

}  // namespace

bool NetworkFileName(const CHAR16* path, UINTN path_chars, char* name, UINTN size) {
  UINTN n = 0;
  for (UINTN i = 0; i < path_chars && path[i]; ++i) {
    CHAR16 c = path[i] == u'\\' ? u'/' : path[i];
    if (c < 0x20 || c > 0x7E) return false;
    if (n == 0 && c == u'/') continue;
    if (n + 1 >= size) return false;
    name[n++] = static_cast<char>(c);
  }
  if (n == 0) return false;
  name[n] = 0;
  return true;
}

EFI_STATUS InstallNetworkFiles(EFI_HANDLE source, UINT32 latency_ms) {
  if (gNetworkFiles.handle) return EFI_ALREADY_STARTED;
  void* load_file = nullptr;
  void* pxe = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(source, &kEfiLoadFileProtocolGuid, &load_file);
  if (!EFI_ERROR(status)) status = gBS->HandleProtocol(source, &kEfiPxeBaseCodeProtocolGuid, &pxe);
  if (EFI_ERROR(status)) return status;
  gNetworkFiles.wrapper.LoadFile = LoadNetworkFile;
  gNetworkFiles.original = static_cast<EFI_LOAD_FILE_PROTOCOL*>(load_file);
  gNetworkFiles.pxe = static_cast<EFI_PXE_BASE_CODE_PROTOCOL*>(pxe);
  status = gBS->ReinstallProtocolInterface(source, &kEfiLoadFileProtocolGuid, load_file, &gNetworkFiles.wrapper);
  if (EFI_ERROR(status)) return status;
  gNetworkFiles.handle = source;
  gNetworkFiles.latency_ms = latency_ms;
  return EFI_SUCCESS;
}

void RemoveNetworkFiles() {
  if (!gNetworkFiles.handle) return;
  gBS->ReinstallProtocolInterface(gNetworkFiles.handle, &kEfiLoadFileProtocolGuid, &gNetworkFiles.wrapper,
                                  gNetworkFiles.original);
  gNetworkFiles = {};
}
