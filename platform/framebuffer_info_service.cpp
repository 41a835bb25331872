// The frame-buffer information stand-in: the facts of the graphics output protocol's mode.
#include "efi/protocols/graphics_output.h"
#include "efi/protocols/tarn_framebuffer_info.h"
#include "platform/display_services.h"
#include "platform/display_services_internal.h"
#include "platform/serial_output.h"

namespace {

EFI_STATUS EFIAPI GetInfo(TarnFramebufferInfoProtocol*, EFI_PHYSICAL_ADDRESS* base, UINTN* size, UINT32* row_bytes,
                          UINT32* width, UINT32* height, UINT32* depth) {
  if (!base || !size || !row_bytes || !width || !height || !depth) return EFI_INVALID_PARAMETER;
  void* interface = nullptr;
  EFI_STATUS status = gBS->LocateProtocol(&kEfiGraphicsOutputProtocolGuid, nullptr, &interface);
  auto* gop = static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL*>(interface);
  if (EFI_ERROR(status) || !gop || !gop->Mode || !gop->Mode->Info) {
    SerialWriteLine(PlatformText().Add("platform: framebuffer info: no graphics output"));
    return EFI_NOT_FOUND;
  }
  const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION* info = gop->Mode->Info;
  *base = gop->Mode->FrameBufferBase;
  *size = gop->Mode->FrameBufferSize;
  *row_bytes = info->PixelsPerScanLine * 4;
  *width = info->HorizontalResolution;
  *height = info->VerticalResolution;
  *depth = 32;
  SerialWriteLine(PlatformText()
                      .Add("platform: framebuffer info: base ")
                      .AddHex(*base)
                      .Add(", ")
                      .AddDecimal(*width)
                      .Add("x")
                      .AddDecimal(*height)
                      .Add(", row bytes ")
                      .AddDecimal(*row_bytes));
  return EFI_SUCCESS;
}

TarnFramebufferInfoProtocol gFramebufferInfoProtocol = {GetInfo};
InstalledStandIn gFramebufferInfoInstalled;

}  // namespace

EFI_STATUS InstallFramebufferInfo() {
  return InstallStandIn(&gFramebufferInfoInstalled, kTarnFramebufferInfoProtocolGuid, &gFramebufferInfoProtocol);
}

void RemoveFramebufferInfo() { RemoveStandIn(&gFramebufferInfoInstalled); }
