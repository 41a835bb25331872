// The maker's SMC I/O protocol: small values of the system management controller under
// four-character keys. Provided by the platform firmware.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnSmcIoProtocolGuid = {0x17407E5A, 0xAF6C, 0x4EE8, {0x98, 0xA8, 0x00, 0x21, 0x04, 0x53, 0xCD, 0xD9}};

struct TarnSmcIoProtocol;

// Key: the four characters with the first in the most significant byte. Size: bytes to
// copy; the value's bytes arrive as the controller stores them (big-endian numbers).
// Any status but success means the buffer must not be trusted.
typedef EFI_STATUS(EFIAPI* TarnSmcReadValue)(TarnSmcIoProtocol* This, UINT32 Key, UINTN Size, VOID* Buffer);
typedef EFI_STATUS(EFIAPI* TarnSmcWriteValue)(TarnSmcIoProtocol* This, UINT32 Key, UINTN Size, const VOID* Buffer);

struct TarnSmcIoProtocol {
  UINT64 Reserved;  // never read
  TarnSmcReadValue SmcReadValue;
  TarnSmcWriteValue SmcWriteValue;
};
static_assert(sizeof(TarnSmcIoProtocol) == 24);
static_assert(offsetof(TarnSmcIoProtocol, SmcReadValue) == 8);
static_assert(offsetof(TarnSmcIoProtocol, SmcWriteValue) == 16);
TARN_OPERATION_AFTER(TarnSmcIoProtocol, 8, SmcReadValue, 1);
TARN_OPERATION_AFTER(TarnSmcIoProtocol, 8, SmcWriteValue, 2);
