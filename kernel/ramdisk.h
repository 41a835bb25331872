// The RAM disk named by the boot options: read whole into the kernel region and announced
// to the kernel as the "RAMDisk" entry of "/chosen/memory-map".
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"

// What the boot options settled from "RAM Disk".
struct RamDiskRequest {
  const CHAR16* Path;                    // relative to the boot volume's root, or null
  EFI_DEVICE_PATH_PROTOCOL* DevicePath;  // network boot: the booter's path with the file, or null
};

// The device-tree entry that announces the image.
#define RAM_DISK_MEMORY_MAP_ENTRY "RAMDisk"

// Loads the image's x86-64 slice (a file that is not universal: all of it) right above
// whatever the kernel region holds. EFI_SUCCESS at once when no RAM disk is named;
// EFI_UNSUPPORTED for a network boot without a device path; EFI_BAD_BUFFER_SIZE for an
// image the 32-bit memory-map entry cannot describe; otherwise the status of the open, the
// slice selection, the read (a short read is EFI_END_OF_FILE) or the entry. No kernel
// memory for the image ends the boot.
[[nodiscard]] EFI_STATUS LoadRamDisk(const RamDiskRequest* request, EFI_LOAD_FILE_PROTOCOL* load_file,
                                     EFI_FILE_PROTOCOL* root);
