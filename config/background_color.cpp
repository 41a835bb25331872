#include "config/background_color.h"

#include "flags/boot_mode.h"
#include "config/boot_options.h"
#include "efi/efi.h"
#include "efi/protocols/tarn_background_color.h"
#include "lib/host_reset.h"

namespace {

UINT32 gBackgroundColor = kDefaultBackgroundColor;

void ResetBackgroundColor() { gBackgroundColor = kDefaultBackgroundColor; }
HEARTH_HOST_RESET(ResetBackgroundColor);

constexpr UINT32 kColorMask = 0x00FFFFFF;

UINT32 ColorFromFirmware() {
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kTarnBackgroundColorProtocolGuid, nullptr, &interface)) || !interface) return 0;
  auto* protocol = static_cast<TarnBackgroundColorProtocol*>(interface);
  UINT32 color = 0;
  if (protocol->GetBackgroundColor && !EFI_ERROR(protocol->GetBackgroundColor(protocol, &color))) return color;
  INT64 configured = 0;
  if (BootConfigInteger("Background Color", &configured) == EFI_SUCCESS) {
    return static_cast<UINT32>(configured) & kColorMask;
  }
  return kDefaultBackgroundColor;
}

}  // namespace

void ReadBackgroundColor() {
  gBackgroundColor = ColorFromFirmware();
  if ((gBackgroundColor & kColorMask) == 0) BootModeFlags |= kBootModeBlackBackground;
}

UINT32 BackgroundColor() { return gBackgroundColor; }
