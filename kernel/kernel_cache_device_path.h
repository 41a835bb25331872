// Device-path helpers of the kernel cache and RAM disk loads. The kernel cache location
// comes from a firmware variable, so its path is measured against the variable's size
// before anything else looks at it.
#pragma once

#include "efi/protocols/device_path.h"
#include "efi/types.h"

// True when data holds a device path within max_bytes: nodes of at least 4 bytes, none
// reaching past the end, ended by an end-of-path node. *size is its length with that node.
bool KernelCacheDevicePathSize(const void* data, UINTN max_bytes, UINTN* size);

// True when a messaging MAC-address node (type 3, subtype 11) occurs in a well-formed path.
bool KernelCacheDevicePathHasMacNode(const EFI_DEVICE_PATH_PROTOCOL* path);

// A pool copy of a well-formed path; null when memory runs out.
EFI_DEVICE_PATH_PROTOCOL* KernelCacheCopyDevicePath(const EFI_DEVICE_PATH_PROTOCOL* path);

// The names of the first run of file-path nodes joined into one pool string; a path
// without such nodes gives its device-path text. Null when memory runs out.
CHAR16* KernelCacheDevicePathFileText(const EFI_DEVICE_PATH_PROTOCOL* path);
