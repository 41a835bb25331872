#include "output/console_mode.h"

#include "efi/efi.h"
#include "efi/protocols/console_control.h"
#include "lib/host_reset.h"

namespace {

struct ConsoleModeState {
  EFI_CONSOLE_CONTROL_PROTOCOL* control = nullptr;
  UINT32 current = kConsoleModeText;
  UINT32 at_start = kConsoleModeText;
};

ConsoleModeState gConsole;

void ResetConsoleMode() { gConsole = ConsoleModeState(); }
HEARTH_HOST_RESET(ResetConsoleMode);

UINT32 FromProtocol(EFI_CONSOLE_CONTROL_SCREEN_MODE mode) {
  return mode == EfiConsoleControlScreenGraphics ? kConsoleModeGraphics : kConsoleModeText;
}

}  // namespace

EFI_STATUS InitConsoleMode() {
  void* interface = nullptr;
  EFI_STATUS status = gBS->LocateProtocol(&kEfiConsoleControlProtocolGuid, nullptr, &interface);
  if (EFI_ERROR(status)) return status;
  if (!interface) return EFI_NOT_FOUND;
  gConsole.control = static_cast<EFI_CONSOLE_CONTROL_PROTOCOL*>(interface);
  EFI_CONSOLE_CONTROL_SCREEN_MODE mode = EfiConsoleControlScreenText;
  status = gConsole.control->GetMode(gConsole.control, &mode, nullptr, nullptr);
  if (EFI_ERROR(status)) return status;
  gConsole.current = gConsole.at_start = FromProtocol(mode);
  return EFI_SUCCESS;
}

EFI_STATUS SetConsoleMode(UINT32 mode) {
  if (mode != kConsoleModeGraphics && mode != kConsoleModeText) return EFI_INVALID_PARAMETER;
  if (mode == gConsole.current) return EFI_SUCCESS;
  if (!gConsole.control) return EFI_NOT_READY;
  EFI_STATUS status = gConsole.control->SetMode(
      gConsole.control, mode == kConsoleModeGraphics ? EfiConsoleControlScreenGraphics : EfiConsoleControlScreenText);
  if (!EFI_ERROR(status)) gConsole.current = mode;
  return status;
}

UINT32 GetConsoleMode() { return gConsole.current; }

EFI_STATUS RestoreConsoleMode() { return SetConsoleMode(gConsole.at_start); }
