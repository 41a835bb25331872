// Firmware volume protocol (version 2): reads files and sections from flash volumes.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiFirmwareVolume2ProtocolGuid = {0x220E73B6, 0x6BDB, 0x4413, {0x84, 0x05, 0xB9, 0x74, 0xB1, 0x08, 0x61, 0x9A}};

typedef UINT8 EFI_SECTION_TYPE;
typedef UINT8 EFI_FV_FILETYPE;
typedef UINT32 EFI_FV_FILE_ATTRIBUTES;
typedef UINT32 EFI_AUTHENTICATION_STATUS;

constexpr EFI_SECTION_TYPE EFI_SECTION_RAW = 0x19;

struct EFI_FIRMWARE_VOLUME2_PROTOCOL {
  VOID* GetVolumeAttributes;
  VOID* SetVolumeAttributes;
  EFI_STATUS(EFIAPI* ReadFile)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid, VOID** Buffer,
                               UINTN* BufferSize, EFI_FV_FILETYPE* FoundType,
                               EFI_FV_FILE_ATTRIBUTES* FileAttributes, UINT32* AuthenticationStatus);
  EFI_STATUS(EFIAPI* ReadSection)(const EFI_FIRMWARE_VOLUME2_PROTOCOL* This, const EFI_GUID* NameGuid,
                                  EFI_SECTION_TYPE SectionType, UINTN SectionInstance, VOID** Buffer,
                                  UINTN* BufferSize, UINT32* AuthenticationStatus);
  VOID* WriteFile;
  VOID* GetNextFile;
  UINT32 KeySize;
  EFI_HANDLE ParentHandle;
  VOID* GetInfo;
  VOID* SetInfo;
};
