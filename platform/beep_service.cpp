#include "platform/beep_service.h"

#include "efi/protocols/tarn_beep.h"
#include "platform/serial_output.h"

namespace {

struct BeepState {
  bool requested = false;
  bool installed = false;
  EFI_HANDLE handle = nullptr;
  TarnBeepGenProtocol protocol{};
};
BeepState gBeep;

void Report(const char* call, UINT32 count, UINT64 tone, UINT64 pause) {
  SerialWriteLine(PlatformText()
                      .Add("platform: beep: ")
                      .Add(call)
                      .Add(" count ")
                      .AddDecimal(count)
                      .Add(", tone ")
                      .AddDecimal(tone)
                      .Add(", pause ")
                      .AddDecimal(pause));
}

EFI_STATUS EFIAPI Prepare(TarnBeepGenProtocol*, UINT32 count, UINT64 tone, UINT64 pause) {
  Report("Prepare", count, tone, pause);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Beep(TarnBeepGenProtocol*, UINT32 count, UINT64 tone, UINT64 pause) {
  Report("Beep", count, tone, pause);
  return EFI_SUCCESS;
}

}  // namespace

void BeepServiceRequest() { gBeep.requested = true; }

EFI_STATUS InstallBeepService() {
  if (!gBeep.requested) return EFI_NOT_FOUND;
  if (gBeep.installed) return EFI_ALREADY_STARTED;
  gBeep.protocol = TarnBeepGenProtocol{Prepare, Beep};
  gBeep.handle = nullptr;
  EFI_STATUS status =
      gBS->InstallProtocolInterface(&gBeep.handle, &kTarnBeepGenProtocolGuid, EFI_NATIVE_INTERFACE, &gBeep.protocol);
  if (EFI_ERROR(status)) return status;
  gBeep.installed = true;
  SerialWriteLine(PlatformText().Add("platform: beep generator installed"));
  return EFI_SUCCESS;
}

void RemoveBeepService() {
  if (gBeep.installed) gBS->UninstallProtocolInterface(gBeep.handle, &kTarnBeepGenProtocolGuid, &gBeep.protocol);
  gBeep = BeepState{};
}
