// EDID active protocol: the display's identification data as the firmware uses it.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiEdidActiveProtocolGuid = {0xBD8C1056, 0x9F36, 0x44EC, {0x92, 0xA8, 0xA6, 0x33, 0x7F, 0x81, 0x79, 0x86}};

struct EFI_EDID_ACTIVE_PROTOCOL {
  UINT32 SizeOfEdid;
  UINT8* Edid;
};
