// The maker's optional block-read protocol, found on a partition's device path: starts a
// read of whole blocks and reports whether it is still running, so that the caller can work
// on earlier data while the transfer is in flight.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kTarnBlockReadProtocolGuid = {0x5B27263B, 0x9083, 0x415E, {0x88, 0x9E, 0x64, 0x32, 0xCA, 0xA9, 0xB8, 0x13}};

struct TarnBlockReadProtocol;

// Starts reading size bytes from block number `block` of the whole disk into buffer.
typedef EFI_STATUS(EFIAPI* TarnBlockReadStart)(TarnBlockReadProtocol* This, UINT32 MediaId, UINT64 Block,
                                               UINTN Size, VOID* Buffer);
// Non-zero while the last started transfer is still running.
typedef UINTN(EFIAPI* TarnBlockReadBusy)(TarnBlockReadProtocol* This);

struct TarnBlockReadProtocol {
  TarnBlockReadStart Read;
  TarnBlockReadBusy Busy;
};
