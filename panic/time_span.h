// Seconds between two firmware clock readings, as the panic-loop check counts them.
#pragma once

#include "efi/efi.h"

// Seconds from earlier to later when both lie in the same year and month; 0 otherwise, and
// 0 when later comes first.
UINT32 TimeSpanSeconds(const EFI_TIME& earlier, const EFI_TIME& later);
