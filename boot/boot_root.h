// The directory that plays the root of the system being booted.
#pragma once

#include "efi/protocols/simple_file_system.h"

// Opens the boot-root directories "com.tarn.boot.R", "com.tarn.boot.P" and "com.tarn.boot.S"
// of volume_root and picks one: R with P gives P, R with S gives R, P with S gives S, all
// three give R (with a warning), one alone is that one. Directories not chosen are closed.
// EFI_NOT_FOUND when none exists.
[[nodiscard]] EFI_STATUS SelectBootRootDirectory(EFI_FILE_PROTOCOL* volume_root, EFI_FILE_PROTOCOL** directory);

// The booter's own directory when "EncryptedRoot.plist.wipekey" lies in it: booter_path is
// the text of the booter's file path ("\EFI\BOOT\hearth.efi"; "/" also separates). A path
// that does not start with a separator, or no key file, gives EFI_NOT_FOUND.
[[nodiscard]] EFI_STATUS OpenKeyFileDirectory(EFI_FILE_PROTOCOL* volume_root, const CHAR16* booter_path,
                                              EFI_FILE_PROTOCOL** directory);
