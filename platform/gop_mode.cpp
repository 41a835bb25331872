// `gop-mode WIDTHxHEIGHT`: the graphics mode hearth finds when it starts.
#include "efi/protocols/graphics_output.h"
#include "platform/display_services.h"
#include "platform/serial_output.h"

EFI_STATUS SelectGopMode(UINT32 width, UINT32 height) {
  // The console's own instance (on firmware with a console splitter, the one that passes the
  // mode on to every display and keeps its mode facts in step), else any.
  void* interface = nullptr;
  EFI_STATUS status = EFI_NOT_FOUND;
  if (gST->ConsoleOutHandle) {
    status = gBS->HandleProtocol(gST->ConsoleOutHandle, &kEfiGraphicsOutputProtocolGuid, &interface);
  }
  if (EFI_ERROR(status) || !interface) status = gBS->LocateProtocol(&kEfiGraphicsOutputProtocolGuid, nullptr, &interface);
  if (EFI_ERROR(status) || !interface) {
    SerialWriteLine(PlatformText().Add("platform: gop-mode: no graphics output: ").AddStatus(status));
    return EFI_NOT_FOUND;
  }
  auto* gop = static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL*>(interface);
  PlatformText offered;
  offered.Add("platform: gop-mode ").AddDecimal(width).Add("x").AddDecimal(height).Add(" not offered; modes:");
  for (UINT32 mode = 0; gop->Mode && mode < gop->Mode->MaxMode; ++mode) {
    UINTN size = 0;
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION* info = nullptr;
    if (EFI_ERROR(gop->QueryMode(gop, mode, &size, &info)) || !info) continue;
    UINT32 w = info->HorizontalResolution, h = info->VerticalResolution;
    gBS->FreePool(info);
    if (w == width && h == height) {
      status = gop->SetMode(gop, mode);
      PlatformText line;
      line.Add("platform: gop-mode ").AddDecimal(w).Add("x").AddDecimal(h).Add(" (mode ").AddDecimal(mode).Add(")");
      SerialWriteLine(EFI_ERROR(status) ? line.Add(" not set: ").AddStatus(status) : line.Add(" set"));
      return status;
    }
    offered.Add(" ").AddDecimal(w).Add("x").AddDecimal(h);
  }
  SerialWriteLine(offered);
  return EFI_NOT_FOUND;
}
