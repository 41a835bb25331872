// The display-connect stand-in: the firmware has connected its displays already, so the
// calls only report themselves.
#include "efi/protocols/tarn_display_connect.h"
#include "platform/display_services.h"
#include "platform/display_services_internal.h"
#include "platform/serial_output.h"

namespace {

EFI_STATUS EFIAPI ConnectDisplay(TarnDisplayConnectProtocol*) {
  SerialWriteLine(PlatformText().Add("platform: display connect: ConnectDisplay"));
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ConnectAll(TarnDisplayConnectProtocol*) {
  SerialWriteLine(PlatformText().Add("platform: display connect: ConnectAll"));
  return EFI_SUCCESS;
}

TarnDisplayConnectProtocol gDisplayConnectProtocol = {nullptr, ConnectDisplay, nullptr, ConnectAll};
InstalledStandIn gDisplayConnectInstalled;

}  // namespace

EFI_STATUS InstallDisplayConnect() {
  return InstallStandIn(&gDisplayConnectInstalled, kTarnDisplayConnectProtocolGuid, &gDisplayConnectProtocol);
}

void RemoveDisplayConnect() { RemoveStandIn(&gDisplayConnectInstalled); }
