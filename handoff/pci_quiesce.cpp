// Before the kernel starts, PCI devices the firmware listed for quiescing are disconnected
// and stop mastering the bus, unless the booter itself is reached through them.
#include "diag/device_path_build.h"
#include "efi/efi.h"
#include "efi/protocols/pci_io.h"
#include "efi/protocols/tarn_pci_quiesce.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "lib/mem.h"

namespace {

// True when the PCI I/O of pci is open with controller as its controller handle.
bool OpenedFor(EFI_HANDLE pci, EFI_HANDLE controller) {
  EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* entries = nullptr;
  UINTN count = 0;
  if (EFI_ERROR(gBS->OpenProtocolInformation(pci, &kEfiPciIoProtocolGuid, &entries, &count)) || !entries) return false;
  bool found = false;
  for (UINTN i = 0; i < count && !found; ++i) found = entries[i].ControllerHandle == controller;
  PoolFree(entries);
  return found;
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
  EFI_HANDLE* marked = nullptr;
  UINTN marked_count = 0;
  if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &kTarnPciQuiesceProtocolGuid, nullptr, &marked_count, &marked))) {
    return;
  }
  EFI_HANDLE* pci = nullptr;
  UINTN pci_count = 0;
  if (EFI_ERROR(gBS->LocateHandleBuffer(ByProtocol, &kEfiPciIoProtocolGuid, nullptr, &pci_count, &pci))) pci_count = 0;
  for (UINTN m = 0; m < marked_count; ++m) {
    for (UINTN p = 0; p < pci_count; ++p) {
      if (!OpenedFor(pci[p], marked[m])) continue;
      if (!OnBooterPath(pci[p], booter_path)) Quiesce(pci[p]);
      break;
    }
  }
  PoolFree(pci);
  PoolFree(marked);
}
