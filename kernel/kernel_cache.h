// Choosing and loading the kernel cache: the boot options' override, the location the
// operating system left in a firmware variable, the network names, and the release,
// suffixed and development caches of the boot volume.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"
#include "kernel/kernel_image_info.h"

// What the boot options settled for the search.
struct KernelCacheRequest {
  const CHAR16* PathOverride;     // "Kernel Cache" ("/" already turned into "\"); null or empty: none
  const CHAR16* Suffix;           // "kcsuffix" value, or null or empty when none
  const void* FirmwareLocation;   // the raw "efi-boot-kernelcache-data" value (a device path), or null
  UINTN FirmwareLocationSize;     // its size in bytes
};

// The volume's kernel caches, and the names served over the network.
#define KERNEL_CACHE_BASE_PATH u"System\\Library\\PrelinkedKernels\\prelinkedkernel"
#define KERNEL_CACHE_NETWORK_PRELINKED u"x86_64\\prelinkedkernel"
#define KERNEL_CACHE_NETWORK_KERNELCACHE u"x86_64\\kernelcache"

// Tries the candidates in order until one loads (reading kBootModeNetBoot and
// kBootModeReleaseKernelCache from BootModeFlags); returns the status of the last attempt.
// A firmware location that is not a well-formed device path within its size is skipped.
[[nodiscard]] EFI_STATUS LoadKernelCache(const KernelCacheRequest* request, EFI_LOAD_FILE_PROTOCOL* load_file,
                                         EFI_FILE_PROTOCOL* root, KernelImageInfo* info);

// Opens path (through load_file on a network boot, else in root), loads it and closes it;
// on success the path becomes the remembered "boot-file".
[[nodiscard]] EFI_STATUS LoadKernelCacheFromPath(const CHAR16* path, EFI_LOAD_FILE_PROTOCOL* load_file,
                                                 EFI_FILE_PROTOCOL* root, KernelImageInfo* info);

// Loads the file a well-formed device path names through load_file; whatever the outcome
// the path's file-path text becomes the remembered "boot-file". Without a LoadFile source
// nothing can be read: EFI_INVALID_PARAMETER.
[[nodiscard]] EFI_STATUS LoadKernelCacheFromDevicePath(const EFI_DEVICE_PATH_PROTOCOL* device_path,
                                                       EFI_LOAD_FILE_PROTOCOL* load_file, KernelImageInfo* info);

// For the device tree: the path of the kernel cache ("boot-file"), null before any load,
// and the Adler-32 of the loaded cache ("boot-kernelcache-adler32"), 0 when the kernel was
// a plain Mach-O file.
const CHAR16* KernelCacheBootFile();
UINT32 KernelCacheAdler32();
