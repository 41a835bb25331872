#include "boot/volume.h"

#include "flags/boot_mode.h"
#include "boot/boot_root.h"
#include "diag/fatal.h"
#include "diag/stage.h"
#include "diag/device_path_text.h"
#include "diag/log.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

BootVolume gBootVolume = {};

namespace {

void ResetBootVolume() { gBootVolume = {}; }
HEARTH_HOST_RESET(ResetBootVolume);

constexpr const CHAR16* kKernelPath = u"System\\Library\\Kernels\\kernel";

template <typename T>
EFI_STATUS GetProtocol(EFI_HANDLE handle, const EFI_GUID& guid, T** interface) {
  *interface = nullptr;
  return gBS->HandleProtocol(handle, &guid, reinterpret_cast<void**>(interface));
}

bool HasKernel(EFI_FILE_PROTOCOL* volume_root) {
  EFI_FILE_PROTOCOL* kernel = nullptr;
  if (EFI_ERROR(volume_root->Open(volume_root, &kernel, kKernelPath, EFI_FILE_MODE_READ, 0))) return false;
  kernel->Close(kernel);
  return true;
}

// Which boot-root directory won, by the name the volume gives it.
void LogBootRoot(EFI_FILE_PROTOCOL* directory) {
  EFI_FILE_INFO* info = nullptr;
  if (EFI_ERROR(BootFileGetInfo(directory, &info))) return;
  LogMessage(kLogCategoryError, "hearth root: boot-root directory %S\n", info->FileName);
  PoolFree(info);
}

// A boot-root directory, else the booter's own directory when the key file lies beside it.
void SelectRoot(EFI_FILE_PROTOCOL* volume_root) {
  gBootVolume.root = volume_root;
  if (HasKernel(volume_root)) return;
  EFI_FILE_PROTOCOL* directory = nullptr;
  if (!EFI_ERROR(SelectBootRootDirectory(volume_root, &directory))) {
    LogBootRoot(directory);
    gBootVolume.root = directory;
    DeviceTreeAddProperty(DeviceTreeFindNode("/chosen", true), "bootroot-active", 0, nullptr, false);
    BootModeFlags |= kBootModeEncryptedRoot;
    return;
  }
  CHAR16* booter_path = DevicePathToText(gBootVolume.image->FilePath);
  if (!EFI_ERROR(OpenKeyFileDirectory(volume_root, booter_path, &directory))) {
    LogMessage(kLogCategoryError, "hearth root: the booter's directory (encrypted-root key file beside it)\n");
    gBootVolume.root = directory;
    BootModeFlags |= kBootModeEncryptedRoot;
  }
  PoolFree(booter_path);
}

}  // namespace

CHAR16* CopyLoadOptions(const void* options, UINT32 size) {
  const UINT8* bytes = static_cast<const UINT8*>(options);
  if (!bytes) size = 0;
  while (size >= 2 && (LoadLe16(bytes) == u' ' || LoadLe16(bytes) == u'\t')) {
    bytes += 2;
    size -= 2;
  }
  auto* copy = static_cast<CHAR16*>(PoolAllocateZero(UINTN(size) + 2 + (size & 1)));
  if (copy && size) MemCopy(copy, bytes, size);
  return copy;
}

void OpenVolume() {
  BootVolume& v = gBootVolume;
  if (EFI_ERROR(GetProtocol(gImageHandle, kEfiLoadedImageProtocolGuid, &v.image)) || !v.image) {
    FatalError("Can not retrieve a LoadedImageProtocol handle for ImageHandle\n");
  }
  if (EFI_ERROR(GetProtocol(v.image->DeviceHandle, kEfiDevicePathProtocolGuid, &v.device_path)) ||
      !v.device_path) {
    FatalError("Can not find a DevicePath handle for LoadedImage->DeviceHandle\n");
  }
  LogMessage(kLogCategoryError, "hearth loaded from device: %D\n", v.device_path);
  LogMessage(kLogCategoryError, "hearth file path: %D\n", v.image->FilePath);
  v.load_options = CopyLoadOptions(v.image->LoadOptions, v.image->LoadOptionsSize);
  if (!v.load_options) FatalError("Could not get boot args\n");

  Stage stage("OpenVolume");
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* file_system = nullptr;
  if (EFI_ERROR(GetProtocol(v.image->DeviceHandle, kEfiSimpleFileSystemProtocolGuid, &file_system)) ||
      !file_system) {
    if (EFI_ERROR(GetProtocol(v.image->DeviceHandle, kEfiLoadFileProtocolGuid, &v.load_file)) || !v.load_file) {
      FatalError("Can't get a FileSystem or LoadFile handle for boot volume\n");
    }
    return;
  }
  if (EFI_ERROR(file_system->OpenVolume(file_system, &v.volume_root)) || !v.volume_root) {
    FatalError("Can't open booter's root volume\n");
  }
  SelectRoot(v.volume_root);
}
