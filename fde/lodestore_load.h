// "LoadLodestoreConfiguration": reads the encrypted root's key file, opens it with the key
// of the encrypted physical volume's header and builds the users.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"
#include "fde/lodestore.h"
#include "fde/volume_header.h"

inline constexpr const CHAR16* kKeyFileCachePath =
    u"System\\Library\\Caches\\com.tarn.lodestore\\EncryptedRoot.plist.wipekey";
inline constexpr const CHAR16* kKeyFileRootPath = u"EncryptedRoot.plist.wipekey";

// Namespace of "last-oslogin-ident".
constexpr EFI_GUID kLodestoreLoginGuid = {0x8D63D4FE, 0xBD3C, 0x4AAD, {0x88, 0x1D, 0x86, 0xFD, 0x97, 0x4B, 0xC1, 0xDF}};

struct LodestoreLoadInputs {
  EFI_LOAD_FILE_PROTOCOL* load_file;                 // network boot, or null
  EFI_FILE_PROTOCOL* root;                           // the boot volume's root directory
  const EFI_DEVICE_PATH_PROTOCOL* boot_device_path;  // the booter's partition
  bool hibernate_pending;                            // look for the last logged-in user
};

// Decrypts a key file in place with the header's key (key kind 2: XTS-AES, one data unit,
// zero tweak key and tweak value); any other key kind leaves it as stored.
// EFI_VOLUME_CORRUPTED when the cipher refuses (a file shorter than 16 bytes).
EFI_STATUS DecryptKeyFile(UINT8* file, UINTN size, const VolumeHeaderKey& key);

// Parses an opened key file (the text is consumed; the caller wipes and frees it) and builds
// the users into config. EFI_INVALID_PARAMETER when the text is no property list; the
// statuses of BuildLodestoreUsers.
EFI_STATUS ParseKeyFile(char* text, UINTN size, const char* last_login_ident, LodestoreConfig* config);

// The stage. EFI_NOT_FOUND on a network boot or without a key file; header, parse and user
// failures as above. Ends the boot when the boot partition or the encrypted volume cannot be
// named. On success Lodestore().loaded is set.
EFI_STATUS LoadLodestoreConfiguration(const LodestoreLoadInputs& inputs);
