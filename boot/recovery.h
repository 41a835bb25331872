// The recovery system: a second booter, "\com.tarn.recovery.boot\hearth.efi", on the partition
// after the booter's own (or, on an encrypted root, on the booter's own partition or on the
// volume whose boot configuration names the same "Root UUID"), and the check of the disk image
// it boots from.
#pragma once

#include "config/plist.h"
#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/simple_file_system.h"

inline constexpr const CHAR16* kRecoveryBooterPath = u"\\com.tarn.recovery.boot\\hearth.efi";
inline constexpr const CHAR16* kBootConfigPath = u"Library\\Preferences\\SystemConfiguration\\com.tarn.Boot.plist";

// What the search needs from stages outside this module.
struct RecoverySearch {
  const PlistNode* boot_config;  // the boot configuration dictionary ("Root UUID"), or null
  void (*connect_graphics)();    // ConnectGraphics (1, 0) before an encrypted-root search; may be null
};

// The GPT partition number of the first GPT hard-drive node of path; EFI_NOT_FOUND without one.
[[nodiscard]] EFI_STATUS BootPartitionNumber(const EFI_DEVICE_PATH_PROTOCOL* path, UINT32* number);

// Loads the recovery booter (not as a boot-policy load) and returns its image handle.
[[nodiscard]] EFI_STATUS FindRecoverySystem(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path,
                                            const RecoverySearch& search, EFI_HANDLE* image);

// Finds the recovery booter and, when found, shuts the log down and starts it. Returns when
// nothing was found (the status of the search) or the image returned (its status); the
// caller's boot goes on either way.
[[nodiscard]] EFI_STATUS StartRecoverySystem(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path,
                                             const RecoverySearch& search);

// The job identifier of an image: the first 8 bytes of the first chunk digest, then 0xCAFEBEEF.
void RecoveryImageId(const UINT8* first_digest, UINT8* id);

// Checks the root disk image named by root_image_option (the "rp", else "root-dmg" value of
// the kernel command line; null or empty when neither is given) against its chunk list,
// both read from root. EFI_NOT_FOUND without a name, EFI_UNSUPPORTED for a name that is not
// "file://...", else the verification service's final status.
[[nodiscard]] EFI_STATUS VerifyRecoveryImage(const char* root_image_option, EFI_FILE_PROTOCOL* root);

// The file base name of a root disk image value: "file:///Volumes/x/Base.dmg" gives
// "\Volumes\x\Base" in a pool string the caller frees. EFI_UNSUPPORTED for a value shorter
// than 7 characters, one not starting with "file://", or one with no "." after it.
[[nodiscard]] EFI_STATUS RecoveryImageBaseName(const char* value, char** base_name);
