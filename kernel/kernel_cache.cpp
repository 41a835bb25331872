#include "kernel/kernel_cache.h"

#include "flags/boot_mode.h"
#include "output/unicode_format.h"
#include "memory/memory.h"
#include "kernel/kernel_cache_device_path.h"
#include "kernel/kernel_cache_results.h"
#include "kernel/macho_loader.h"
#include "kernel/prelinked_kernel.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "output/error_report.h"

namespace {

// A candidate that failed for its own reasons gives way to the next; a failure that ends
// the boot stops the search.
bool TryNext(EFI_STATUS status) {
  return EFI_ERROR(status) && status != kStatusBootEnding && status != kStatusKernel32Bit;
}

constexpr UINTN kPathBufferSize = 1024;  // bytes

CHAR16* PoolCopy16(const CHAR16* text) {
  UINTN bytes = (StrLen16(text) + 1) * sizeof(CHAR16);
  auto* copy = static_cast<CHAR16*>(PoolAllocate(bytes));
  if (copy) MemCopy(copy, text, bytes);
  return copy;
}

// The firmware's location is tried unless it is malformed; on a network boot only when it
// names a network device.
bool UsableFirmwareLocation(const KernelCacheRequest& request, const EFI_DEVICE_PATH_PROTOCOL** path) {
  UINTN size = 0;
  if (!KernelCacheDevicePathSize(request.FirmwareLocation, request.FirmwareLocationSize, &size)) return false;
  *path = static_cast<const EFI_DEVICE_PATH_PROTOCOL*>(request.FirmwareLocation);
  return !(BootModeFlags & kBootModeNetBoot) || KernelCacheDevicePathHasMacNode(*path);
}

// base + "." + suffix; a name that does not fit the path buffer is not tried (a cut name
// could open a different file).
EFI_STATUS LoadSuffixed(const CHAR16* suffix, EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root,
                        KernelImageInfo* info) {
  CHAR16 path[kPathBufferSize / sizeof(CHAR16)];
  UINTN needed = StrLen16(KERNEL_CACHE_BASE_PATH) + 1 + StrLen16(suffix) + 1;
  if (needed > kPathBufferSize / sizeof(CHAR16)) return EFI_BAD_BUFFER_SIZE;
  UnicodeSPrint(path, sizeof(path), u"%s.%s", KERNEL_CACHE_BASE_PATH, suffix);
  return LoadKernelCacheFromPath(path, load_file, root, info);
}

EFI_STATUS LoadFromVolume(const KernelCacheRequest& request, EFI_LOAD_FILE_PROTOCOL* load_file,
                          EFI_FILE_PROTOCOL* root, KernelImageInfo* info) {
  bool release = (BootModeFlags & kBootModeReleaseKernelCache) != 0;
  EFI_STATUS status;
  if (release) {
    status = LoadKernelCacheFromPath(KERNEL_CACHE_BASE_PATH, load_file, root, info);
    if (!TryNext(status)) return status;
  }
  if (request.Suffix && request.Suffix[0]) {
    status = LoadSuffixed(request.Suffix, load_file, root, info);
    if (!TryNext(status)) return status;
  }
  CHAR16 path[kPathBufferSize / sizeof(CHAR16)];
  UnicodeSPrint(path, sizeof(path), u"%s.development", KERNEL_CACHE_BASE_PATH);
  status = LoadKernelCacheFromPath(path, load_file, root, info);
  if (!TryNext(status) || release) return status;
  return LoadKernelCacheFromPath(KERNEL_CACHE_BASE_PATH, load_file, root, info);
}

}  // namespace

EFI_STATUS LoadKernelCache(const KernelCacheRequest* request, EFI_LOAD_FILE_PROTOCOL* load_file,
                           EFI_FILE_PROTOCOL* root, KernelImageInfo* info) {
  KernelCacheRequest none{};
  const KernelCacheRequest& r = request ? *request : none;
  if (r.PathOverride && r.PathOverride[0]) return LoadKernelCacheFromPath(r.PathOverride, load_file, root, info);
  const EFI_DEVICE_PATH_PROTOCOL* location = nullptr;
  if (UsableFirmwareLocation(r, &location)) {
    EFI_STATUS status = LoadKernelCacheFromDevicePath(location, load_file, info);
    if (!TryNext(status)) return status;
  }
  if (BootModeFlags & kBootModeNetBoot) {
    EFI_STATUS status = LoadKernelCacheFromPath(KERNEL_CACHE_NETWORK_PRELINKED, load_file, root, info);
    if (!TryNext(status)) return status;
    return LoadKernelCacheFromPath(KERNEL_CACHE_NETWORK_KERNELCACHE, load_file, root, info);
  }
  return LoadFromVolume(r, load_file, root, info);
}

EFI_STATUS LoadKernelCacheFromPath(const CHAR16* path, EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root,
                                   KernelImageInfo* info) {
  BootFile file;
  EFI_STATUS status = BootFileOpen(load_file, root, path, &file);
  if (EFI_ERROR(status)) return status;
  status = LoadPrelinkedKernel(&file, info);
  BootFileClose(&file);
  if (!EFI_ERROR(status)) KernelCacheRememberBootFile(PoolCopy16(path));
  return status;
}

EFI_STATUS LoadKernelCacheFromDevicePath(const EFI_DEVICE_PATH_PROTOCOL* device_path,
                                         EFI_LOAD_FILE_PROTOCOL* load_file, KernelImageInfo* info) {
  if (!load_file) return EFI_INVALID_PARAMETER;
  BootFile file;
  MemZero(&file, sizeof(file));
  file.LoadFileSource = load_file;
  file.DevicePath = KernelCacheCopyDevicePath(device_path);
  if (!file.DevicePath) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = LoadPrelinkedKernel(&file, info);
  KernelCacheRememberBootFile(KernelCacheDevicePathFileText(device_path));
  BootFileClose(&file);
  return status;
}
