#include "graphics/display.h"

#include "config/background_color.h"
#include "efi/protocols/tarn_framebuffer_info.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "lib/host_reset.h"
#include "output/console_mode.h"

DisplayState gDisplay;

namespace {

void ResetDisplay() { gDisplay = DisplayState(); }
HEARTH_HOST_RESET(ResetDisplay);

UINT32 CountBits(UINT32 v) {
  UINT32 n = 0;
  for (; v; v &= v - 1) ++n;
  return n;
}

// Bits per pixel of a graphics output mode; 0 for block-transfer only.
UINT32 BitsPerPixel(const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION* info) {
  switch (info->PixelFormat) {
    case PixelRedGreenBlueReserved8BitPerColor:
    case PixelBlueGreenRedReserved8BitPerColor:
      return 32;
    case PixelBitMask: {
      const EFI_PIXEL_BITMASK& m = info->PixelInformation;
      return (CountBits(m.RedMask | m.GreenMask | m.BlueMask) + 7) / 8 * 8;
    }
    default:
      return 0;
  }
}

EFI_GRAPHICS_OUTPUT_PROTOCOL* ConsoleGop() {
  if (gDisplay.gop) return gDisplay.gop;
  void* interface = nullptr;
  if (!gST || !gST->ConsoleOutHandle) return nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(gST->ConsoleOutHandle, &kEfiGraphicsOutputProtocolGuid, &interface))) return nullptr;
  return static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL*>(interface);
}

// The maker's frame-buffer protocol, when the graphics output protocol gives no base.
void FramebufferFromMaker() {
  void* interface = nullptr;
  EFI_PHYSICAL_ADDRESS base = 0;
  UINTN size = 0;
  UINT32 row_bytes = 0, width = 0, height = 0, depth = 0;
  EFI_STATUS status = gBS->LocateProtocol(&kTarnFramebufferInfoProtocolGuid, nullptr, &interface);
  if (!EFI_ERROR(status) && interface) {
    auto* info = static_cast<TarnFramebufferInfoProtocol*>(interface);
    status = info->GetFramebufferInfo(info, &base, &size, &row_bytes, &width, &height, &depth);
  } else if (!EFI_ERROR(status)) {
    status = EFI_NOT_FOUND;
  }
  if (EFI_ERROR(status)) base = size = row_bytes = width = height = depth = 0;
  gDisplay.framebuffer_base = base;
  gDisplay.framebuffer_size = size;
  gDisplay.row_bytes = row_bytes;
  if (width && height) {
    gDisplay.width = width;
    gDisplay.height = height;
  }
  if (depth) gDisplay.bits_per_pixel = depth;
}

UINT8 ReadByteVariable(const CHAR16* name, bool* found) {
  UINT8 value = 0;
  UINTN size = sizeof(value);
  *found = !EFI_ERROR(gRT->GetVariable(name, &TarnVendorGuid, nullptr, &size, &value)) && size == 1;
  return *found ? value : 0;
}

}  // namespace

EFI_STATUS OpenBootGraphics() {
  // A console that will not switch still has its GOP; drawing decides below.
  if (GetConsoleMode() != kConsoleModeGraphics) (void)SetConsoleMode(kConsoleModeGraphics);
  void* interface = nullptr;
  EFI_HANDLE console = gST ? gST->ConsoleOutHandle : nullptr;
  EFI_STATUS status = console ? gBS->HandleProtocol(console, &kEfiGraphicsOutputProtocolGuid, &interface) : EFI_NOT_FOUND;
  if (!EFI_ERROR(status) && interface) {
    gDisplay.gop = static_cast<EFI_GRAPHICS_OUTPUT_PROTOCOL*>(interface);
  } else {
    status = console ? gBS->HandleProtocol(console, &kEfiUgaDrawProtocolGuid, &interface) : EFI_NOT_FOUND;
    if (EFI_ERROR(status)) return status;
    if (!interface) return EFI_NOT_FOUND;
    gDisplay.uga = static_cast<EFI_UGA_DRAW_PROTOCOL*>(interface);
  }
  BootModeFlags |= kBootModeGraphicsConsole;
  if (gDisplay.gop) {
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE* mode = gDisplay.gop->Mode;
    if (!mode || !mode->Info) return EFI_UNSUPPORTED;
    gDisplay.width = mode->Info->HorizontalResolution;
    gDisplay.height = mode->Info->VerticalResolution;
    gDisplay.bits_per_pixel = BitsPerPixel(mode->Info);
    if (gDisplay.bits_per_pixel == 0) return EFI_UNSUPPORTED;
    return EFI_SUCCESS;
  }
  UINT32 width = 0, height = 0, depth = 0, refresh = 0;
  status = gDisplay.uga->GetMode(gDisplay.uga, &width, &height, &depth, &refresh);
  if (EFI_ERROR(status)) return status;
  gDisplay.width = width;
  gDisplay.height = height;
  gDisplay.bits_per_pixel = depth;
  return EFI_SUCCESS;
}

void GetFramebufferInfo(BootVideo* video, UINT32* saved_status) {
  if (gDisplay.framebuffer_base == 0) {
    EFI_GRAPHICS_OUTPUT_PROTOCOL* gop = ConsoleGop();
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE* mode = gop ? gop->Mode : nullptr;
    if (mode && mode->Info && mode->FrameBufferBase) {
      UINT32 bits = BitsPerPixel(mode->Info);
      gDisplay.framebuffer_base = mode->FrameBufferBase;
      gDisplay.framebuffer_size = mode->FrameBufferSize;
      gDisplay.row_bytes = bits / 8 * mode->Info->PixelsPerScanLine;
      if (!gDisplay.width) {
        gDisplay.width = mode->Info->HorizontalResolution;
        gDisplay.height = mode->Info->VerticalResolution;
        gDisplay.bits_per_pixel = bits;
      }
    } else {
      FramebufferFromMaker();
    }
  }
  if (saved_status) *saved_status = gDisplay.saved_config_status;
  if (!video) return;
  // The record holds a 32-bit base; a frame buffer above 4 GiB cannot be described.
  video->baseAddress = gDisplay.framebuffer_base >> 32 ? 0 : static_cast<UINT32>(gDisplay.framebuffer_base);
  video->rowBytes = gDisplay.row_bytes;
  video->width = gDisplay.width;
  video->height = gDisplay.height;
  video->depth = gDisplay.bits_per_pixel;
}

void ReadHiDPIPreference() {
  bool found = false;
  UINT8 scale = ReadByteVariable(u"UIScale", &found);
  gDisplay.hidpi = found && scale >= 2;
}

void ReadBlackMode() {
  bool found = false;
  UINT8 black = ReadByteVariable(u"BlackMode", &found);
  if (!found || black == 0) return;
  BootModeFlags |= kBootModeBlackMode;
  gRT->SetVariable(u"BlackMode", &TarnVendorGuid, 0, 0, nullptr);
}

EFI_STATUS BlitImage(UINT32 x, UINT32 y, UINT32 width, UINT32 height, const EFI_GRAPHICS_OUTPUT_BLT_PIXEL* pixels) {
  auto* buffer = const_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(pixels);
  if (gDisplay.gop) {
    return gDisplay.gop->Blt(gDisplay.gop, buffer, EfiBltBufferToVideo, 0, 0, x, y, width, height, 0);
  }
  if (gDisplay.uga) {
    return gDisplay.uga->Blt(gDisplay.uga, reinterpret_cast<EFI_UGA_PIXEL*>(buffer), EfiUgaBltBufferToVideo, 0, 0, x,
                             y, width, height, 0);
  }
  return EFI_NOT_READY;
}

EFI_STATUS FillBackgroundRect(UINT32 x, UINT32 y, UINT32 width, UINT32 height) {
  UINT32 color = BackgroundColor();
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL pixel = {static_cast<UINT8>(color), static_cast<UINT8>(color >> 8),
                                         static_cast<UINT8>(color >> 16), 0};
  if (gDisplay.gop) return gDisplay.gop->Blt(gDisplay.gop, &pixel, EfiBltVideoFill, 0, 0, x, y, width, height, 0);
  if (gDisplay.uga) {
    return gDisplay.uga->Blt(gDisplay.uga, reinterpret_cast<EFI_UGA_PIXEL*>(&pixel), EfiUgaVideoFill, 0, 0, x, y,
                             width, height, 0);
  }
  return EFI_NOT_READY;
}
