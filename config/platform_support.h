// Whether this Larkspur release supports the machine: its board id must be listed in
// "PlatformSupport.plist" ("VMM" stands for any virtual machine and always passes).
#pragma once

#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"

// Checks platform against the list beside the booter, else the one in
// "System\Library\CoreServices" of the boot volume (read through load_file when given,
// else from root). No list at all: supported.
// EFI_SUCCESS: supported. EFI_NOT_FOUND: the list cannot be parsed or has no
// "SupportedBoardIds" array. EFI_UNSUPPORTED: the array is empty or does not name platform.
[[nodiscard]] EFI_STATUS PlatformCheck(const char* platform, EFI_LOAD_FILE_PROTOCOL* load_file,
                                       EFI_FILE_PROTOCOL* root);

// The platform string the check is given: "VMM" under a hypervisor, else the board id.
const char* PlatformCheckString();

// Unless switched off, checks the platform; on failure shows the failure screen (or the
// text console when verbose), prints the banner with the reason, waits 30 seconds and shuts
// the machine down. Returns only when the platform passes or the check is off.
void EnforcePlatformSupport(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root);
