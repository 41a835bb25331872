// Before the kernel starts, PCI devices the firmware listed for quiescing are disconnected
// and stop mastering the bus, unless the booter itself is reached through them.
#include "diag/device_path_build.h"
#include "efi/efi.h"
#include "efi/protocols/pci_io.h"
#include "efi/protocols/tarn_pci_quiesce.h"
#include "memory/owners.h"
#include "handoff/platform_facts.h"
#include "lib/mem.h"

namespace {

// True when the PCI I/O of pci is open with controller as its controller handle.
bool OpenedFor(EFI_HANDLE pci, EFI_HANDLE controller) {
  OpenedProtocol opened;
  if (EFI_ERROR(opened.Read(pci, kEfiPciIoProtocolGuid))) return false;
  for (UINTN i = 0; i < opened.count(); ++i) {
    if (opened[i].ControllerHandle == controller) return true;
  }
  return false;
}

// True when the device's path is a prefix of the booter's path.
bool OnBooterPath(EFI_HANDLE device, const EFI_DEVICE_PATH_PROTOCOL* booter_path) {
  EFI_DEVICE_PATH_PROTOCOL* path = nullptr;
  if (!booter_path || EFI_ERROR(gBS->HandleProtocol(device, &kEfiDevicePathProtocolGuid, reinterpret_cast<VOID**>(&path))) ||
      !path) {
    return false;
  }
  UINTN size = DevicePathPayloadSize(path);
  return size <= DevicePathPayloadSize(booter_path) && MemCompare(path, booter_path, size) == 0;
}

void Quiesce(EFI_HANDLE device) {
  EFI_PCI_IO_PROTOCOL* pci_io = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(device, &kEfiPciIoProtocolGuid, reinterpret_cast<VOID**>(&pci_io))) || !pci_io) return;
  gBS->DisconnectController(device, nullptr, nullptr);
  auto attributes = reinterpret_cast<TarnPciIoAttributes>(pci_io->Attributes);
  if (attributes) attributes(pci_io, kPciIoAttributeDisable, kPciIoAttributeBusMaster, nullptr);
}

}  // namespace

void QuiescePciDevices(const EFI_DEVICE_PATH_PROTOCOL* booter_path) {
  HandleBuffer marked;
  if (EFI_ERROR(marked.Locate(kTarnPciQuiesceProtocolGuid))) return;
  HandleBuffer pci;
  (void)pci.Locate(kEfiPciIoProtocolGuid);  // none: nothing to quiesce
  for (UINTN m = 0; m < marked.count(); ++m) {
    for (UINTN p = 0; p < pci.count(); ++p) {
      if (!OpenedFor(pci[p], marked[m])) continue;
      if (!OnBooterPath(pci[p], booter_path)) Quiesce(pci[p]);
      break;
    }
  }
}
