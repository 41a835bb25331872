// The boot-arguments block from start to hand-off: "InitBootStruct" creates it and the
// "/chosen" basics once the kernel is loaded; "FinalizeBootStruct" publishes the platform
// properties, flattens the device tree into the kernel region and leaves boot services.
#pragma once

#include "config/plist.h"
#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/loaded_image.h"
#include "handoff/boot_args.h"

// What the earlier stages hand over. The sequence keeps one of these and passes it to both
// calls; pointers must stay valid until FinalizeBootStruct returns.
struct BootStructInputs {
  EFI_LOADED_IMAGE_PROTOCOL* loaded_image;           // the booter: file path, device handle
  const EFI_DEVICE_PATH_PROTOCOL* boot_device_path;  // device path of the booter's device
  EFI_HANDLE boot_partition;      // disk I/O and block I/O of the boot volume; null: the booter's device
  const char* command_line;       // the kernel command line, NUL-terminated (may be null)
  const PlistNode* boot_config;   // the boot configuration dictionary, or null
  const CHAR16* kernel_file_path;  // the kernel cache that was loaded ("boot-file")
  UINT32 kernel_adler32;           // its Adler-32 ("boot-kernelcache-adler32")
  // Read by FinalizeBootStruct only.
  BootVideo video;                 // the video mode in force
  bool hidpi;                      // HiDPI graphics
};

// The block, once InitBootStruct made it; its physical address is what the kernel receives.
extern BootArgs* gBootArgs;
// The ACPI reserved address the firmware announced (0 for none), for the exit.
extern UINT64 gAcpiReservedAddress;

// "InitBootStruct": allocates and fills the block's fixed fields, gives the root node its
// "compatible" and "model", creates "/chosen" and "/chosen/memory-map", and publishes the
// root device, "boot-file", "boot-device-path", "boot-file-path",
// "boot-kernelcache-adler32" and a RAM disk left in memory. Failures are fatal.
void InitBootStruct(const BootStructInputs& inputs);

// "FinalizeBootStruct": the platform properties in their fixed order, the flattened device
// tree, then the memory map and the exit of boot services (ExitToKernel). Returns the block
// for the kernel call gate; every failure is fatal.
BootArgs* FinalizeBootStruct(const BootStructInputs& inputs);

// The steps of FinalizeBootStruct before the exit, kept apart for tests.
void PublishPlatformProperties(const BootStructInputs& inputs, BootArgs* args);
void FlattenDeviceTreeIntoBootArgs(BootArgs* args);
