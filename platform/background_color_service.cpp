// The background-colour stand-in: the colour a `background-color` line names, or a call
// that fails (`failing`), so hearth falls back to its boot configuration.
#include "efi/protocols/tarn_background_color.h"
#include "platform/display_services.h"
#include "platform/display_services_internal.h"
#include "platform/serial_output.h"

namespace {

struct BackgroundColorStandIn {
  TarnBackgroundColorProtocol protocol;
  UINT32 rgb;
  bool failing;
};

EFI_STATUS EFIAPI GetBackgroundColor(TarnBackgroundColorProtocol* self, UINT32* color);

BackgroundColorStandIn gStandIn = {{nullptr, GetBackgroundColor}, 0, false};
InstalledStandIn gInstalled;

EFI_STATUS EFIAPI GetBackgroundColor(TarnBackgroundColorProtocol*, UINT32* color) {
  if (!color) return EFI_INVALID_PARAMETER;
  SerialWriteLine(PlatformText().Add("platform: background colour asked").Add(gStandIn.failing ? ", failing" : ""));
  if (gStandIn.failing) return EFI_DEVICE_ERROR;
  *color = gStandIn.rgb;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS InstallBackgroundColor(BackgroundColorMode mode, UINT32 rgb) {
  if (mode == BackgroundColorMode::kAbsent) return EFI_NOT_FOUND;
  gStandIn.rgb = rgb & 0xFFFFFF;
  gStandIn.failing = mode == BackgroundColorMode::kFailing;
  return InstallStandIn(&gInstalled, kTarnBackgroundColorProtocolGuid, &gStandIn.protocol);
}

void RemoveBackgroundColor() { RemoveStandIn(&gInstalled); }
