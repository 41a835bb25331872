// The maker's PCI quiesce list: the firmware marks, with this protocol, child handles of PCI
// devices that must stop mastering the bus before the kernel starts. The protocol carries no
// calls the loader uses; its presence on a handle is the mark, so it has no slots to
// check (see efi/protocols/tarn_protocol.h for the rule the others follow).
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kTarnPciQuiesceProtocolGuid = {0x71B4903C, 0x14EC, 0x42C4, {0xBD, 0xC6, 0xCE, 0x14, 0x49, 0x93, 0x0E, 0x49}};

// The PCI I/O attribute call and its bus-master bit, as the loader calls them.
enum TarnPciIoAttributeOperation : UINT32 {
  kPciIoAttributeGet = 0,
  kPciIoAttributeSet = 1,
  kPciIoAttributeEnable = 2,
  kPciIoAttributeDisable = 3,
  kPciIoAttributeSupported = 4,
};
constexpr UINT64 kPciIoAttributeBusMaster = 0x0004;

struct EFI_PCI_IO_PROTOCOL;
typedef EFI_STATUS(EFIAPI* TarnPciIoAttributes)(EFI_PCI_IO_PROTOCOL* This, TarnPciIoAttributeOperation Operation,
                                                UINT64 Attributes, UINT64* Result);
