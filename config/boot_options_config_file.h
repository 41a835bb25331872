// Finding and reading the boot configuration file.
#pragma once

#include "config/plist.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"

// Where the file is looked for: the booter's own directory first, then the "config" name
// from the load options (config_name, UTF-8, config_length bytes; null when absent), else
// the standard place on the boot volume (or the bare name through load_file on a network
// boot). path_buffer holds kBootOptionsPathChars characters. The first file that can be read
// and parsed as a dictionary is returned in *dict; null when none.
void ReadBootConfigFile(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, bool network,
                        const char* config_name, UINTN config_length, CHAR16* path_buffer, PlistNode** dict);

// Reads path through load_file (when given) or from root and parses it as a dictionary.
// EFI_NOT_FOUND and friends when it cannot be read or parsed.
[[nodiscard]] EFI_STATUS ReadPlistFile(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                                       PlistNode** dict);
