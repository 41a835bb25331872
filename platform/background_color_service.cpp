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

BackgroundColorStandIn gBackgroundColorStandIn = {{nullptr, GetBackgroundColor}, 0, false};
InstalledStandIn gBackgroundColorInstalled;

EFI_STATUS EFIAPI GetBackgroundColor(TarnBackgroundColorProtocol*, UINT32* color) {
  if (!color) return EFI_INVALID_PARAMETER;
  SerialWriteLine(PlatformText().Add("platform: background colour asked").Add(gBackgroundColorStandIn.failing ? ", failing" : ""));
  if (gBackgroundColorStandIn.failing) return EFI_DEVICE_ERROR;
  *color = gBackgroundColorStandIn.rgb;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS InstallBackgroundColor(BackgroundColorMode mode, UINT32 rgb) {
  if (mode == BackgroundColorMode::kAbsent) return EFI_NOT_FOUND;
  gBackgroundColorStandIn.rgb = rgb & 0xFFFFFF;
  gBackgroundColorStandIn.failing = mode == BackgroundColorMode::kFailing;
  return InstallStandIn(&gBackgroundColorInstalled, kTarnBackgroundColorProtocolGuid, &gBackgroundColorStandIn.protocol);
}

void RemoveBackgroundColor() { RemoveStandIn(&gBackgroundColorInstalled); }
