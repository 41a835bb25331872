// How the kernel finds its root: "root-matching" or "boot-uuid" on "/chosen".
#pragma once

#include "config/plist.h"
#include "efi/protocols/device_path.h"

// Publishes the root device unless "rd" is on the command line: the configuration's "Root
// Match" (as XML), else its "Root UUID", else for a network boot a match on the interface's
// MAC address, else the boot volume's UUID (HFS Plus header, then the GPT partition GUID).
// boot_partition is the handle whose disk I/O reads the boot volume (may be null).
// No "/chosen" node is reported.
[[nodiscard]] EFI_STATUS PublishRootDevice(const char* command_line, const PlistNode* boot_config,
                                           const EFI_DEVICE_PATH_PROTOCOL* boot_device_path,
                                           EFI_HANDLE boot_partition);
