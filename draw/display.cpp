#include "draw/display.h"

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/graphics_output.h"
#include "efi/protocols/uga_draw.h"
#include "lib/host_reset.h"
#include "memory/owners.h"

namespace {

struct Display {
  bool initialized;
  UINT32 scale;
  EFI_GRAPHICS_OUTPUT_PROTOCOL* gop;
  EFI_UGA_DRAW_PROTOCOL* uga;
};

Display gDisplay = {false, 1, nullptr, nullptr};

void ResetDisplay() { gDisplay = Display{false, 1, nullptr, nullptr}; }
HEARTH_HOST_RESET(ResetDisplay);

// The first handle carrying UGA draw that also has a device path.
EFI_STATUS FindUgaDraw(EFI_UGA_DRAW_PROTOCOL** out) {
  HandleBuffer handles;
  EFI_STATUS status = handles.Locate(kEfiUgaDrawProtocolGuid);
  if (EFI_ERROR(status)) return status;
  status = EFI_UNSUPPORTED;
  for (UINTN i = 0; i < handles.count(); ++i) {
    void* path = nullptr;
    void* uga = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiDevicePathProtocolGuid, &path)) || !path) continue;
    status = gBS->HandleProtocol(handles[i], &kEfiUgaDrawProtocolGuid, &uga);
    if (!EFI_ERROR(status) && !uga) status = EFI_UNSUPPORTED;
    if (!EFI_ERROR(status)) *out = static_cast<EFI_UGA_DRAW_PROTOCOL*>(uga);
    break;
  }
  return status;
}

}  // namespace

EFI_STATUS DUInitialize() {
  if (gDisplay.initialized) return EFI_SUCCESS;
  gDisplay.scale = 1;
  void* gop = nullptr;
  if (gST->ConsoleOutHandle &&
      !EFI_ERROR(gBS->HandleProtocol(gST->ConsoleOutHandle, &kEfiGraphicsOutputProtocolGuid, &gop)) && gop) {
    gDisplay.gop = static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL*>(gop);
  } else {
    EFI_STATUS status = FindUgaDraw(&gDisplay.uga);
    if (EFI_ERROR(status)) return status;
  }
  gDisplay.initialized = true;
  return EFI_SUCCESS;
}

bool DUIsInitialized() { return gDisplay.initialized; }

EFI_STATUS DUSetScale(UINT32 factor) {
  if (factor < 1) return EFI_INVALID_PARAMETER;
  gDisplay.scale = factor;
  return EFI_SUCCESS;
}

UINT32 DUScaleFactor() { return gDisplay.scale; }

DUSize DUDisplaySize() {
  if (gDisplay.gop) {
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE* mode = gDisplay.gop->Mode;
    if (!mode || !mode->Info) return DUSize{0, 0};
    return DUSize{INT32(mode->Info->VerticalResolution), INT32(mode->Info->HorizontalResolution)};
  }
  if (gDisplay.uga) {
    UINT32 width = 0, height = 0, depth = 0, refresh = 0;
    if (EFI_ERROR(gDisplay.uga->GetMode(gDisplay.uga, &width, &height, &depth, &refresh))) return DUSize{0, 0};
    return DUSize{INT32(height), INT32(width)};
  }
  return DUSize{0, 0};
}

EFI_STATUS DUDisplayTransfer(const DUPixel* pixels, INT32 pixels_width, const DURect& rect) {
  auto* buffer = const_cast<DUPixel*>(pixels);
  UINTN delta = UINTN(pixels_width) * sizeof(DUPixel);
  if (gDisplay.gop) {
    return gDisplay.gop->Blt(gDisplay.gop, reinterpret_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(buffer), EfiBltBufferToVideo,
                             UINTN(rect.x), UINTN(rect.y), UINTN(rect.x), UINTN(rect.y), UINTN(rect.width),
                             UINTN(rect.height), delta);
  }
  if (gDisplay.uga) {
    return gDisplay.uga->Blt(gDisplay.uga, reinterpret_cast<EFI_UGA_PIXEL*>(buffer), EfiUgaBltBufferToVideo,
                             UINTN(rect.x), UINTN(rect.y), UINTN(rect.x), UINTN(rect.y), UINTN(rect.width),
                             UINTN(rect.height), delta);
  }
  return EFI_NOT_READY;
}
