// Where the booter itself was loaded from: its file path and device, read from the loaded
// image protocol of the running image.
#pragma once

#include "efi/protocols/device_path.h"
#include "efi/types.h"

// Room of the path buffers (2048 bytes).
constexpr UINTN kBootOptionsPathChars = 1024;

// The booter's file path ("\System\Library\CoreServices\hearth.efi"): the file-path nodes
// of its loaded image joined. EFI_NOT_FOUND without a loaded image or file-path node,
// EFI_BUFFER_TOO_SMALL when it does not fit count characters with the terminator.
[[nodiscard]] EFI_STATUS BooterFilePath(CHAR16* buffer, UINTN count);

// The booter's file path with its last component replaced by name.
[[nodiscard]] EFI_STATUS BooterSiblingPath(const CHAR16* name, CHAR16* buffer, UINTN count);

// path_prefix + name into buffer; EFI_BUFFER_TOO_SMALL when it does not fit.
[[nodiscard]] EFI_STATUS JoinPath(const CHAR16* path_prefix, const CHAR16* name, CHAR16* buffer, UINTN count);

// True when the booter's device path holds a MAC-address node (a network boot).
bool BooterOnNetwork();

// The booter's device followed by a file-path node for the sibling name (pool; the caller
// frees it). Null when there is no loaded image, the path does not fit, or memory runs out.
EFI_DEVICE_PATH_PROTOCOL* BooterSiblingDevicePath(const CHAR16* name);
