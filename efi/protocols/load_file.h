// Load file protocol (network and other non-file-system boot sources).
#pragma once

#include "efi/protocols/device_path.h"

constexpr EFI_GUID kEfiLoadFileProtocolGuid = {0x56EC3091, 0x954C, 0x11D2, {0x8E, 0x3F, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};

struct EFI_LOAD_FILE_PROTOCOL {
  EFI_STATUS(EFIAPI* LoadFile)(EFI_LOAD_FILE_PROTOCOL* This, EFI_DEVICE_PATH_PROTOCOL* FilePath,
                               BOOLEAN BootPolicy, UINTN* BufferSize, VOID* Buffer);
};
