// UUID text ("XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX") to its 16 bytes.
#pragma once

#include "efi/types.h"

// text[0, length) must be exactly 36 characters with "-" at positions 8, 13, 18 and 23.
// The bytes come out in text order; hex digits of either case, any other character counts
// as 0. EFI_INVALID_PARAMETER for any other length or misplaced separators.
[[nodiscard]] EFI_STATUS UuidTextToBytes(const char* text, UINTN length, UINT8 uuid[16]);
