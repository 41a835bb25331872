// The booter's device, its load options, the boot volume and the root directory, found by
// the "OpenVolume" stage and read by every later stage.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/loaded_image.h"
#include "efi/protocols/simple_file_system.h"

struct BootVolume {
  EFI_LOADED_IMAGE_PROTOCOL* image;         // the booter's loaded-image record
  EFI_DEVICE_PATH_PROTOCOL* device_path;    // of the booter's device
  CHAR16* load_options;                     // pool copy, leading tabs and spaces removed, terminated
  EFI_LOAD_FILE_PROTOCOL* load_file;        // network boot, or null
  EFI_FILE_PROTOCOL* volume_root;           // file-system boot: the volume's root, or null
  EFI_FILE_PROTOCOL* root;                  // the root directory of the system, or null
};

extern BootVolume gBootVolume;

// Fills gBootVolume; ends the boot through FatalError when the booter's records, its load
// options or its volume cannot be had. Sets kBootModeEncryptedRoot (and the "/chosen"
// property "bootroot-active" for a boot-root directory) when the root is an encrypted one.
void OpenVolume();

// A pool copy of size bytes of UCS-2 options without leading tabs and spaces, terminated.
// Null when memory runs out.
CHAR16* CopyLoadOptions(const void* options, UINT32 size);
