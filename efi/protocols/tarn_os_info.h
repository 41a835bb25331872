// The maker's OS information protocol: the firmware learns which system is booting.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnOSInfoProtocolGuid = {0xC5C5DA95, 0x7D5C, 0x45E6, {0xB2, 0xF1, 0x3F, 0xD5, 0x2B, 0xB1, 0x00, 0x77}};

struct TarnOSInfoProtocol {
  UINT32 Revision;  // 0: no operations; 1: OSName; 2 and later: OSVendor as well
  VOID(EFIAPI* OSName)(const CHAR8* name);
  VOID(EFIAPI* OSVendor)(const CHAR8* vendor);
};
TARN_OPERATION_AFTER(TarnOSInfoProtocol, 8, OSName, 1);
TARN_OPERATION_AFTER(TarnOSInfoProtocol, 8, OSVendor, 2);
