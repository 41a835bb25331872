#include "platform/display_services.h"

#include "platform/display_services_internal.h"

EFI_STATUS InstallStandIn(InstalledStandIn* slot, const EFI_GUID& guid, void* interface) {
  if (slot->interface) return EFI_ALREADY_STARTED;
  EFI_HANDLE handle = nullptr;
  EFI_STATUS status = gBS->InstallProtocolInterface(&handle, &guid, EFI_NATIVE_INTERFACE, interface);
  if (EFI_ERROR(status)) return status;
  *slot = InstalledStandIn{handle, &guid, interface};
  return EFI_SUCCESS;
}

void RemoveStandIn(InstalledStandIn* slot) {
  if (!slot->interface) return;
  gBS->UninstallProtocolInterface(slot->handle, slot->guid, slot->interface);
  *slot = InstalledStandIn{};
}

void RemoveDisplayServices() {
  RemoveDisplayConnect();
  RemoveFramebufferInfo();
  RemoveBackgroundColor();
  RemoveGamma();
}
