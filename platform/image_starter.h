// Finds hearth on the machine's file systems and starts it the way a firmware boot manager
// would: LoadImage from the file's device path, then StartImage.
#pragma once

#include "efi/efi.h"
#include "memory/owners.h"

inline constexpr const CHAR16* kHearthPath = u"\\System\\Library\\CoreServices\\hearth.efi";

// Searches every simple-file-system handle in the order the firmware lists them (the
// loader's own volume included) and returns the first that holds path. EFI_NOT_FOUND when
// none does.
[[nodiscard]] EFI_STATUS FindFileOnVolumes(const CHAR16* path, EFI_HANDLE* volume);

// Builds the volume's device path followed by a file-path node for path, in pool memory.
[[nodiscard]] EFI_STATUS BuildFileDevicePath(EFI_HANDLE volume, const CHAR16* path, PoolBuffer* device_path);

// Loads the image at path on the volume and starts it. Returns the status of loading or
// starting; exit_status receives what the image returned when it ran.
[[nodiscard]] EFI_STATUS LoadAndStartImage(EFI_HANDLE volume, const CHAR16* path, EFI_STATUS* exit_status);

// Why the firmware's security policy refused to load an image, in words for the person at
// the screen, or null when status is not such a refusal. With Secure Boot on, LoadImage
// answers EFI_ACCESS_DENIED (nothing loaded) or EFI_SECURITY_VIOLATION (loaded, not to be
// started) for an image without a signature the firmware trusts.
const char* ImageRefusalReason(EFI_STATUS status);
