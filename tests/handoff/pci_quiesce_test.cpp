#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "efi/protocols/pci_io.h"
#include "efi/protocols/tarn_pci_quiesce.h"
#include "handoff/platform_facts.h"
#include "memory/memory.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

// Everything handed back: nothing tracked is live, and once the tracker's own blocks go the
// firmware holds no pool at all (an untracked block would stay).
void ExpectNothingHeld(TestFirmware& fw) {
  EXPECT_EQ(TrackedAllocationCount(), 0u);
  ReleaseAllAllocations();
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
}


// The firmware's open-protocol records and what the quiesce did, for the fakes below.
struct QuiesceWorld {
  std::map<EFI_HANDLE, std::vector<EFI_HANDLE>> controllers;  // PCI handle -> opened for
  std::vector<EFI_HANDLE> disconnected;
  std::vector<EFI_PCI_IO_PROTOCOL*> bus_master_off;
};
QuiesceWorld* gWorld = nullptr;

EFI_STATUS EFIAPI OpenInformation(EFI_HANDLE handle, const EFI_GUID*, EFI_OPEN_PROTOCOL_INFORMATION_ENTRY** entries,
                                  UINTN* count) {
  auto& list = gWorld->controllers[handle];
  *count = list.size();
  gBS->AllocatePool(EfiBootServicesData, sizeof(EFI_OPEN_PROTOCOL_INFORMATION_ENTRY) * (list.size() + 1),
                    reinterpret_cast<VOID**>(entries));
  for (size_t i = 0; i < list.size(); ++i) (*entries)[i] = {nullptr, list[i], EFI_OPEN_PROTOCOL_BY_CHILD_CONTROLLER, 1};
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Disconnect(EFI_HANDLE controller, EFI_HANDLE, EFI_HANDLE) {
  gWorld->disconnected.push_back(controller);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Attributes(EFI_PCI_IO_PROTOCOL* self, TarnPciIoAttributeOperation operation, UINT64 attributes,
                             UINT64*) {
  if (operation == kPciIoAttributeDisable && attributes == kPciIoAttributeBusMaster) gWorld->bus_master_off.push_back(self);
  return EFI_SUCCESS;
}

}  // namespace

TEST(PciQuiesce, MarkedDevicesStopUnlessTheBooterRunsThroughThem) {
  TestFirmware fw;
  QuiesceWorld world;
  gWorld = &world;
  gBS->OpenProtocolInformation = OpenInformation;
  gBS->DisconnectController = Disconnect;

  // Three PCI devices: the disk controller the booter sits behind, a network card, a GPU.
  std::vector<uint8_t> disk_path = DevicePathBuilder().Acpi().Pci(0x1F, 2).Build();
  std::vector<uint8_t> net_path = DevicePathBuilder().Acpi().Pci(0x19, 0).Build();
  std::vector<uint8_t> gpu_path = DevicePathBuilder().Acpi().Pci(0x02, 0).Build();
  std::vector<uint8_t> booter_path = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(2).Build();
  EFI_PCI_IO_PROTOCOL disk_io{}, net_io{}, gpu_io{};
  for (auto* io : {&disk_io, &net_io, &gpu_io}) io->Attributes = reinterpret_cast<VOID*>(&Attributes);
  EFI_HANDLE disk = fw.InstallProtocol(nullptr, kEfiPciIoProtocolGuid, &disk_io);
  fw.InstallProtocol(disk, kEfiDevicePathProtocolGuid, disk_path.data());
  EFI_HANDLE net = fw.InstallProtocol(nullptr, kEfiPciIoProtocolGuid, &net_io);
  fw.InstallProtocol(net, kEfiDevicePathProtocolGuid, net_path.data());
  EFI_HANDLE gpu = fw.InstallProtocol(nullptr, kEfiPciIoProtocolGuid, &gpu_io);
  fw.InstallProtocol(gpu, kEfiDevicePathProtocolGuid, gpu_path.data());

  // Quiesce marks on children of the disk controller and the network card; the GPU is unmarked.
  int mark = 0;
  EFI_HANDLE disk_child = fw.InstallProtocol(nullptr, kTarnPciQuiesceProtocolGuid, &mark);
  EFI_HANDLE net_child = fw.InstallProtocol(nullptr, kTarnPciQuiesceProtocolGuid, &mark);
  EFI_HANDLE other_child = fw.NewHandle();
  world.controllers[disk] = {disk_child};
  world.controllers[net] = {other_child, net_child};
  world.controllers[gpu] = {other_child};

  QuiescePciDevices(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(booter_path.data()));
  EXPECT_EQ(world.disconnected, (std::vector<EFI_HANDLE>{net}));
  EXPECT_EQ(world.bus_master_off, (std::vector<EFI_PCI_IO_PROTOCOL*>{&net_io}));
  ExpectNothingHeld(fw);  // handle and information buffers are returned
  gWorld = nullptr;
}
