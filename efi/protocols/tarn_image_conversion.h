// The maker's image codec: recognises a picture file, tells its size and decodes it.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnImageConversionProtocolGuid = {0x0DFCE9F6, 0xC4E3, 0x45EE, {0xA0, 0x6A, 0xA8, 0x61, 0x3B, 0x98, 0xA5, 0x07}};

struct TarnImageConversionProtocol {
  VOID* Operation1;
  VOID* Operation2;
  // EFI_SUCCESS when this codec reads the data; EFI_UNSUPPORTED otherwise.
  EFI_STATUS(EFIAPI* RecognizeImageData)(TarnImageConversionProtocol* This, const VOID* Data, UINTN DataSize);
  EFI_STATUS(EFIAPI* GetImageDimensions)(TarnImageConversionProtocol* This, const VOID* Data, UINTN DataSize,
                                         UINT32* Width, UINT32* Height);
  // Decodes to Width x Height 32-bit pixels (blue, green, red, transparency: 0 opaque, 255
  // fully transparent; colours not premultiplied) in a pool buffer the caller frees.
  EFI_STATUS(EFIAPI* DecodeImageData)(TarnImageConversionProtocol* This, const VOID* Data, UINTN DataSize,
                                      VOID** Pixels, UINTN* PixelsSize);
};
static_assert(sizeof(TarnImageConversionProtocol) == 40);
TARN_OPERATION(TarnImageConversionProtocol, RecognizeImageData, 3);
TARN_OPERATION(TarnImageConversionProtocol, GetImageDimensions, 4);
TARN_OPERATION(TarnImageConversionProtocol, DecodeImageData, 5);
