// PCI I/O protocol. Only the members the loader calls are typed.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiPciIoProtocolGuid = {0x4CF5B200, 0x68B8, 0x4CA5, {0x9E, 0xEC, 0xB2, 0x3E, 0x3F, 0x50, 0x02, 0x9A}};

enum EFI_PCI_IO_PROTOCOL_WIDTH : UINT32 {
  EfiPciIoWidthUint8 = 0,
  EfiPciIoWidthUint16 = 1,
  EfiPciIoWidthUint32 = 2,
  EfiPciIoWidthUint64 = 3,
};

struct EFI_PCI_IO_PROTOCOL;

struct EFI_PCI_IO_PROTOCOL_CONFIG_ACCESS {
  EFI_STATUS(EFIAPI* Read)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset, UINTN Count,
                           VOID* Buffer);
  EFI_STATUS(EFIAPI* Write)(EFI_PCI_IO_PROTOCOL* This, EFI_PCI_IO_PROTOCOL_WIDTH Width, UINT32 Offset, UINTN Count,
                            VOID* Buffer);
};

struct EFI_PCI_IO_PROTOCOL {
  VOID* PollMem;
  VOID* PollIo;
  VOID* Mem[2];
  VOID* Io[2];
  EFI_PCI_IO_PROTOCOL_CONFIG_ACCESS Pci;
  VOID* CopyMem;
  VOID* Map;
  VOID* Unmap;
  VOID* AllocateBuffer;
  VOID* FreeBuffer;
  VOID* Flush;
  EFI_STATUS(EFIAPI* GetLocation)(EFI_PCI_IO_PROTOCOL* This, UINTN* Segment, UINTN* Bus, UINTN* Device,
                                  UINTN* Function);
  VOID* Attributes;
  VOID* GetBarAttributes;
  VOID* SetBarAttributes;
  UINT64 RomSize;
  VOID* RomImage;
};
