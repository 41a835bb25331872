// UGA draw protocol, the predecessor of graphics output that older firmware still offers.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiUgaDrawProtocolGuid = {0x982C298B, 0xF4FA, 0x41CB, {0xB8, 0x38, 0x77, 0xAA, 0x68, 0x8F, 0xB8, 0x39}};

struct EFI_UGA_PIXEL {
  UINT8 Blue;
  UINT8 Green;
  UINT8 Red;
  UINT8 Reserved;
};

enum EFI_UGA_BLT_OPERATION : UINT32 {
  EfiUgaVideoFill = 0,
  EfiUgaVideoToBltBuffer = 1,
  EfiUgaBltBufferToVideo = 2,
  EfiUgaVideoToVideo = 3,
};

struct EFI_UGA_DRAW_PROTOCOL {
  EFI_STATUS(EFIAPI* GetMode)(EFI_UGA_DRAW_PROTOCOL* This, UINT32* HorizontalResolution,
                              UINT32* VerticalResolution, UINT32* ColorDepth, UINT32* RefreshRate);
  EFI_STATUS(EFIAPI* SetMode)(EFI_UGA_DRAW_PROTOCOL* This, UINT32 HorizontalResolution,
                              UINT32 VerticalResolution, UINT32 ColorDepth, UINT32 RefreshRate);
  EFI_STATUS(EFIAPI* Blt)(EFI_UGA_DRAW_PROTOCOL* This, EFI_UGA_PIXEL* BltBuffer, EFI_UGA_BLT_OPERATION BltOperation,
                          UINTN SourceX, UINTN SourceY, UINTN DestinationX, UINTN DestinationY, UINTN Width,
                          UINTN Height, UINTN Delta);
};
