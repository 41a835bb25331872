// The maker's gamma protocol: the display's colour ramps.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnGammaProtocolGuid = {0x03622D6D, 0x362A, 0x4E47, {0x97, 0x10, 0xC2, 0x38, 0xB2, 0x37, 0x55, 0xC1}};

// Separate red, green and blue ramps.
constexpr UINT32 kTarnGammaChannelsSeparate = 2;
constexpr UINT32 kTarnGammaRampEntries = 1024;

struct TarnGammaProtocol {
  VOID* Operation1;
  // Sets the ramps (EntryCount u16 entries each, 0..65535). EntryCount 0 with no tables
  // resets the display to its own ramps.
  EFI_STATUS(EFIAPI* SetGammaRamps)(TarnGammaProtocol* This, UINT32 ChannelMode, UINT32 EntryCount,
                                    const UINT16* Red, const UINT16* Green, const UINT16* Blue);
};
static_assert(sizeof(TarnGammaProtocol) == 16);
TARN_OPERATION(TarnGammaProtocol, SetGammaRamps, 2);
