// Graphics output protocol.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiGraphicsOutputProtocolGuid = {0x9042A9DE, 0x23DC, 0x4A38, {0x96, 0xFB, 0x7A, 0xDE, 0xD0, 0x80, 0x51, 0x6A}};

enum EFI_GRAPHICS_PIXEL_FORMAT : UINT32 {
  PixelRedGreenBlueReserved8BitPerColor = 0,
  PixelBlueGreenRedReserved8BitPerColor = 1,
  PixelBitMask = 2,
  PixelBltOnly = 3,
};

struct EFI_PIXEL_BITMASK {
  UINT32 RedMask;
  UINT32 GreenMask;
  UINT32 BlueMask;
  UINT32 ReservedMask;
};

struct EFI_GRAPHICS_OUTPUT_MODE_INFORMATION {
  UINT32 Version;
  UINT32 HorizontalResolution;
  UINT32 VerticalResolution;
  EFI_GRAPHICS_PIXEL_FORMAT PixelFormat;
  EFI_PIXEL_BITMASK PixelInformation;
  UINT32 PixelsPerScanLine;
};

struct EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE {
  UINT32 MaxMode;
  UINT32 Mode;
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION* Info;
  UINTN SizeOfInfo;
  EFI_PHYSICAL_ADDRESS FrameBufferBase;
  UINTN FrameBufferSize;
};

struct EFI_GRAPHICS_OUTPUT_BLT_PIXEL {
  UINT8 Blue;
  UINT8 Green;
  UINT8 Red;
  UINT8 Reserved;
};

enum EFI_GRAPHICS_OUTPUT_BLT_OPERATION : UINT32 {
  EfiBltVideoFill = 0,
  EfiBltVideoToBltBuffer = 1,
  EfiBltBufferToVideo = 2,
  EfiBltVideoToVideo = 3,
};

struct EFI_GRAPHICS_OUTPUT_PROTOCOL {
  EFI_STATUS(EFIAPI* QueryMode)(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 ModeNumber, UINTN* SizeOfInfo,
                                EFI_GRAPHICS_OUTPUT_MODE_INFORMATION** Info);
  EFI_STATUS(EFIAPI* SetMode)(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, UINT32 ModeNumber);
  EFI_STATUS(EFIAPI* Blt)(EFI_GRAPHICS_OUTPUT_PROTOCOL* This, EFI_GRAPHICS_OUTPUT_BLT_PIXEL* BltBuffer,
                          EFI_GRAPHICS_OUTPUT_BLT_OPERATION BltOperation, UINTN SourceX, UINTN SourceY,
                          UINTN DestinationX, UINTN DestinationY, UINTN Width, UINTN Height, UINTN Delta);
  EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE* Mode;
};
