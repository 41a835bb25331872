// The file sink of the debug log: "BOOTER.LOG" in the root of the first EFI system
// partition on an internal disk, attached when such a file system appears, rotated to
// "BOOTER.OLD" before it passes 512 KiB. Any error stops file logging quietly.
#include "diag/log.h"
#include "diag/log_sinks.h"
#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/simple_file_system.h"
#include "memory/memory.h"
#include "lib/host_reset.h"
#include "lib/string.h"

namespace {

constexpr EFI_GUID kEspTypeGuid = {0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};
constexpr UINT64 kLogOpenMode = EFI_FILE_MODE_CREATE | EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE;
constexpr const CHAR16* kLogName = u"BOOTER.LOG";
constexpr const CHAR16* kOldLogName = u"BOOTER.OLD";
constexpr UINTN kOldNameCharacters = 11;  // with the terminator
constexpr UINTN kRenameInfoSize = kEfiFileInfoHeaderSize + 2 * kOldNameCharacters;  // 102

struct FileSinkState {
  UINT8 enabled;
  EFI_FILE_PROTOCOL* root;
  EFI_FILE_PROTOCOL* file;
  UINT64 size;
  EFI_EVENT event;
  VOID* registration;
  volatile UINT8 guard;  // the attach notification must not run twice at once
};
FileSinkState gFileSink = {};

void ResetFileSink() { gFileSink = FileSinkState{}; }
HEARTH_HOST_RESET(ResetFileSink);

void ForgetFile() {
  if (gFileSink.file) gFileSink.file->Close(gFileSink.file);
  if (gFileSink.root) gFileSink.root->Close(gFileSink.root);
  gFileSink.file = nullptr;
  gFileSink.root = nullptr;
  gFileSink.size = 0;
}

// Opens "BOOTER.LOG" in the root for appending and learns its size.
EFI_STATUS OpenLogFile() {
  EFI_FILE_PROTOCOL* file = nullptr;
  EFI_STATUS status = gFileSink.root->Open(gFileSink.root, &file, kLogName, kLogOpenMode, 0);
  if (EFI_ERROR(status)) return status;
  UINT64 position = 0;
  status = file->SetPosition(file, ~0ull);
  if (!EFI_ERROR(status)) status = file->GetPosition(file, &position);
  if (EFI_ERROR(status)) {
    file->Close(file);
    return status;
  }
  gFileSink.file = file;
  gFileSink.size = position;
  return EFI_SUCCESS;
}

// Removes an older "BOOTER.OLD"; a copy that cannot go blocks the rotation.
EFI_STATUS DeleteOldLog() {
  EFI_FILE_PROTOCOL* old = nullptr;
  EFI_STATUS status =
      gFileSink.root->Open(gFileSink.root, &old, kOldLogName, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE, 0);
  if (EFI_ERROR(status)) return EFI_SUCCESS;  // nothing there
  return old->Delete(old) == EFI_SUCCESS ? EFI_SUCCESS : EFI_ACCESS_DENIED;
}

// Gives the open log the name "BOOTER.OLD" through its file information.
EFI_STATUS RenameLogToOld() {
  EFI_FILE_PROTOCOL* file = gFileSink.file;
  UINTN size = 0;
  EFI_STATUS status = file->GetInfo(file, &kEfiFileInfoGuid, &size, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(status) ? status : EFI_DEVICE_ERROR;
  UINTN allocated = size > kRenameInfoSize ? size : kRenameInfoSize;
  auto* info = static_cast<EFI_FILE_INFO*>(PoolAllocateZero(allocated));
  if (!info) return EFI_OUT_OF_RESOURCES;
  status = file->GetInfo(file, &kEfiFileInfoGuid, &size, info);
  if (!EFI_ERROR(status)) {
    StrCopy16(info->FileName, kOldNameCharacters, kOldLogName);
    info->Size = kRenameInfoSize;
    status = file->SetInfo(file, &kEfiFileInfoGuid, kRenameInfoSize, info);
  }
  PoolFree(info);
  return status;
}

EFI_STATUS RotateLogFile() {
  EFI_STATUS status = DeleteOldLog();
  if (!EFI_ERROR(status)) status = RenameLogToOld();
  if (EFI_ERROR(status)) return status;
  gFileSink.file->Close(gFileSink.file);
  gFileSink.file = nullptr;
  gFileSink.size = 0;
  return OpenLogFile();
}

bool HasProtocol(EFI_HANDLE handle, const EFI_GUID& guid, VOID** interface) {
  *interface = nullptr;
  return !EFI_ERROR(gBS->HandleProtocol(handle, &guid, interface)) && *interface;
}

// The partition-type tag carries no interface: firmware installs it with a null pointer.
bool CarriesTag(EFI_HANDLE handle, const EFI_GUID& guid) {
  VOID* unused = nullptr;
  return !EFI_ERROR(gBS->HandleProtocol(handle, &guid, &unused));
}

// Attaches the log to the first handle that is a qualifying EFI system partition.
void AttachToFirstQualifying(const EFI_HANDLE* handles, UINTN count) {
  for (UINTN i = 0; i < count; ++i) {
    VOID* path = nullptr;
    VOID* fs = nullptr;
    if (!CarriesTag(handles[i], kEspTypeGuid) || !HasProtocol(handles[i], kEfiDevicePathProtocolGuid, &path) ||
        !LogDevicePathQualifies(static_cast<EFI_DEVICE_PATH_PROTOCOL*>(path))) {
      continue;
    }
    if (!HasProtocol(handles[i], kEfiSimpleFileSystemProtocolGuid, &fs)) return;
    auto* volume = static_cast<EFI_SIMPLE_FILE_SYSTEM_PROTOCOL*>(fs);
    if (EFI_ERROR(volume->OpenVolume(volume, &gFileSink.root))) {
      gFileSink.root = nullptr;
      return;
    }
    if (EFI_ERROR(OpenLogFile())) ForgetFile();
    return;
  }
}

// Handles of a search: in small, or in a tracked pool block (*allocated) when more are
// found. *count 0 when there are none. The first try always offers room, because some
// firmware consumes a register-notify result even when it answers buffer-too-small.
EFI_STATUS LocateHandles(EFI_LOCATE_SEARCH_TYPE type, VOID* key, EFI_HANDLE* small, UINTN small_count,
                         EFI_HANDLE** handles, UINTN* count) {
  *handles = small;
  *count = 0;
  UINTN size = small_count * sizeof(EFI_HANDLE);
  EFI_STATUS status = gBS->LocateHandle(type, &kEfiSimpleFileSystemProtocolGuid, key, &size, small);
  if (status == EFI_BUFFER_TOO_SMALL) {
    *handles = static_cast<EFI_HANDLE*>(PoolAllocate(size));
    if (!*handles) return EFI_OUT_OF_RESOURCES;
    status = gBS->LocateHandle(type, &kEfiSimpleFileSystemProtocolGuid, key, &size, *handles);
  }
  if (EFI_ERROR(status)) {
    if (*handles != small) PoolFree(*handles);
    *handles = small;
    return status;
  }
  *count = size / sizeof(EFI_HANDLE);
  return EFI_SUCCESS;
}

// Looks at one search's handles; true when it returned any.
bool AttachFromSearch(EFI_LOCATE_SEARCH_TYPE type, VOID* key) {
  EFI_HANDLE small[8];
  EFI_HANDLE* handles = nullptr;
  UINTN count = 0;
  if (EFI_ERROR(LocateHandles(type, key, small, 8, &handles, &count))) return false;
  AttachToFirstQualifying(handles, count);
  if (handles != small) PoolFree(handles);
  return count != 0;
}

VOID EFIAPI LogFileAttach(EFI_EVENT event, VOID*) {
  if (gFileSink.guard || gFileSink.file) return;
  gFileSink.guard = 1;
  // One registration search may report a single handle; signalling again looks at the rest.
  if (AttachFromSearch(ByRegisterNotify, gFileSink.registration)) gBS->SignalEvent(event);
  gFileSink.guard = 0;
}

void StartAttaching() {
  gFileSink.guard = 0;
  if (EFI_ERROR(gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, LogFileAttach, nullptr, &gFileSink.event))) {
    gFileSink.event = nullptr;
    return;
  }
  if (EFI_ERROR(gBS->RegisterProtocolNotify(&kEfiSimpleFileSystemProtocolGuid, gFileSink.event,
                                            &gFileSink.registration))) {
    gBS->CloseEvent(gFileSink.event);
    gFileSink.event = nullptr;
    return;
  }
  // A registration only reports file systems installed after it; the ones already there
  // (the usual case at start-up) are looked at here.
  gFileSink.guard = 1;
  AttachFromSearch(ByProtocol, nullptr);
  gFileSink.guard = 0;
  gBS->SignalEvent(gFileSink.event);
}

void StopAttaching() {
  if (gFileSink.event) gBS->CloseEvent(gFileSink.event);
  gFileSink.event = nullptr;
  gFileSink.registration = nullptr;
  ForgetFile();
}

}  // namespace

bool FileSinkEnabled() { return gFileSink.enabled != 0; }

void FileSinkEnable(UINT8 state) {
  if (state == kLogSinkEnable) {
    gFileSink.enabled = 1;
    if (!gFileSink.event && gBS) StartAttaching();
  } else {
    gFileSink.enabled = 0;
    if (gBS) StopAttaching();
  }
}

void FileSinkWrite(UINT32, const char* text, UINTN length) {
  if (!gFileSink.enabled || !gFileSink.file) return;
  if (gFileSink.size + length > kLogFileRotateSize && EFI_ERROR(RotateLogFile())) {
    ForgetFile();
    return;
  }
  EFI_FILE_PROTOCOL* file = gFileSink.file;
  UINTN written = length;
  EFI_STATUS status = file->Write(file, &written, text);
  if (!EFI_ERROR(status) && written != length) status = EFI_DEVICE_ERROR;
  if (!EFI_ERROR(status)) status = file->Flush(file);
  if (EFI_ERROR(status)) {
    ForgetFile();
    return;
  }
  gFileSink.size += length;
}
