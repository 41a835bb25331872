// The device tree's first nodes, made at start: the root and "/efi/platform".
#pragma once

#include "efi/types.h"

// "InitDeviceTree": creates the tree, its root (a failure is reported) and "/efi/platform".
[[nodiscard]] EFI_STATUS InitDeviceTree();
