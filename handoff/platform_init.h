// The device tree's first nodes, made at start: the root and "/efi/platform".
#pragma once

#include "efi/types.h"

// "InitDeviceTree": creates the tree, its root (fatal when it cannot) and "/efi/platform".
void InitDeviceTree();
