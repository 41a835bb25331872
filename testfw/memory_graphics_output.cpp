#include "testfw/memory_graphics_output.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "testfw/test_firmware.h"

MemoryGraphicsOutput::MemoryGraphicsOutput(uint32_t width, uint32_t height, EFI_GRAPHICS_PIXEL_FORMAT format,
                                           Device device)
    : device_(device), pixels_(size_t(width) * height, 0) {
  info_.HorizontalResolution = width;
  info_.VerticalResolution = height;
  info_.PixelFormat = format;
  info_.PixelsPerScanLine = width;
  if (format == PixelBitMask) info_.PixelInformation = {0xF800, 0x07E0, 0x001F, 0};
  mode_.MaxMode = 1;
  mode_.Info = &info_;
  mode_.SizeOfInfo = sizeof(info_);
  mode_.FrameBufferBase = reinterpret_cast<uint64_t>(pixels_.data());
  mode_.FrameBufferSize = pixels_.size() * 4;
  protocol_.QueryMode = QueryMode;
  protocol_.SetMode = SetMode;
  protocol_.Blt = Blt;
  protocol_.Mode = &mode_;
  uga_.protocol = EFI_UGA_DRAW_PROTOCOL{UgaGetMode, UgaSetMode, UgaBlt};
  uga_.owner = this;
  TestFirmware& fw = TestFirmware::Current();
  if (device_ == Device::kUgaDraw) {
    fw.InstallProtocol(fw.SystemTable()->ConsoleOutHandle, kEfiUgaDrawProtocolGuid, &uga_.protocol);
  } else {
    fw.InstallProtocol(fw.SystemTable()->ConsoleOutHandle, kEfiGraphicsOutputProtocolGuid, &protocol_);
  }
}

MemoryGraphicsOutput::MemoryGraphicsOutput(uint32_t width, uint32_t height, uint32_t fill)
    : MemoryGraphicsOutput(width, height) {
  std::fill(pixels_.begin(), pixels_.end(), fill);
}

MemoryGraphicsOutput::~MemoryGraphicsOutput() {
  TestFirmware& fw = TestFirmware::Current();
  fw.UninstallProtocol(fw.SystemTable()->ConsoleOutHandle,
                       device_ == Device::kUgaDraw ? kEfiUgaDrawProtocolGuid : kEfiGraphicsOutputProtocolGuid);
}

uint32_t MemoryGraphicsOutput::Pixel(uint32_t x, uint32_t y) const {
  return pixels_.at(size_t(y) * info_.HorizontalResolution + x) & 0x00FFFFFF;
}

MemoryGraphicsOutput::Box MemoryGraphicsOutput::BoundingBox(uint32_t background) const {
  uint32_t x0 = UINT32_MAX, y0 = UINT32_MAX, x1 = 0, y1 = 0;
  for (uint32_t y = 0; y < info_.VerticalResolution; ++y) {
    for (uint32_t x = 0; x < info_.HorizontalResolution; ++x) {
      if (Pixel(x, y) == (background & 0xFFFFFF)) continue;
      x0 = std::min(x0, x);
      y0 = std::min(y0, y);
      x1 = std::max(x1, x);
      y1 = std::max(y1, y);
    }
  }
  if (x0 == UINT32_MAX) return Box{0, 0, 0, 0};
  return Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

std::vector<uint32_t> MemoryGraphicsOutput::Colours(const Box& box) const {
  std::set<uint32_t> seen;
  for (uint32_t y = box.y; y < box.y + box.height; ++y) {
    for (uint32_t x = box.x; x < box.x + box.width; ++x) seen.insert(Pixel(x, y));
  }
  return std::vector<uint32_t>(seen.begin(), seen.end());
}

EFI_STATUS EFIAPI MemoryGraphicsOutput::QueryMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* self, UINT32 mode, UINTN* size,
                                                  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION** info) {
  auto* g = reinterpret_cast<MemoryGraphicsOutput*>(self);
  if (mode != 0 || !size || !info) return EFI_INVALID_PARAMETER;
  *size = sizeof(g->info_);
  *info = &g->info_;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryGraphicsOutput::SetMode(EFI_GRAPHICS_OUTPUT_PROTOCOL*, UINT32 mode) {
  return mode == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI MemoryGraphicsOutput::Blt(EFI_GRAPHICS_OUTPUT_PROTOCOL* self, EFI_GRAPHICS_OUTPUT_BLT_PIXEL* buffer,
                                            EFI_GRAPHICS_OUTPUT_BLT_OPERATION operation, UINTN sx, UINTN sy,
                                            UINTN dx, UINTN dy, UINTN width, UINTN height, UINTN delta) {
  auto* g = reinterpret_cast<MemoryGraphicsOutput*>(self);
  ++g->blts_;
  const UINTN w = g->info_.HorizontalResolution, h = g->info_.VerticalResolution;
  if (!buffer || width == 0 || height == 0) return EFI_INVALID_PARAMETER;
  if (dx >= w || dy >= h || width > w - dx || height > h - dy) return EFI_INVALID_PARAMETER;
  if (operation != EfiBltVideoFill && operation != EfiBltBufferToVideo) return EFI_UNSUPPORTED;
  if (delta == 0) delta = width * sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL);
  const auto* source = reinterpret_cast<const uint8_t*>(buffer);
  for (UINTN y = 0; y < height; ++y) {
    uint32_t* out = &g->pixels_[(dy + y) * w + dx];
    if (operation == EfiBltVideoFill) {
      uint32_t colour;
      std::memcpy(&colour, source, sizeof(colour));
      std::fill(out, out + width, colour);
    } else {
      std::memcpy(out, source + (sy + y) * delta + sx * sizeof(uint32_t), width * sizeof(uint32_t));
    }
    for (UINTN x = 0; x < width; ++x) out[x] &= 0x00FFFFFF;
  }
  g->transfers_.push_back(Box{uint32_t(dx), uint32_t(dy), uint32_t(width), uint32_t(height)});
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryGraphicsOutput::UgaGetMode(EFI_UGA_DRAW_PROTOCOL* self, UINT32* width, UINT32* height,
                                                   UINT32* depth, UINT32* refresh) {
  MemoryGraphicsOutput* g = reinterpret_cast<Uga*>(self)->owner;
  if (!width || !height || !depth || !refresh) return EFI_INVALID_PARAMETER;
  *width = g->info_.HorizontalResolution;
  *height = g->info_.VerticalResolution;
  *depth = 32;
  *refresh = 60;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryGraphicsOutput::UgaSetMode(EFI_UGA_DRAW_PROTOCOL* self, UINT32 width, UINT32 height,
                                                   UINT32 depth, UINT32) {
  MemoryGraphicsOutput* g = reinterpret_cast<Uga*>(self)->owner;
  bool same = width == g->info_.HorizontalResolution && height == g->info_.VerticalResolution && depth == 32;
  return same ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

// The UGA pixel has the layout of the graphics output one; the operations are numbered alike.
EFI_STATUS EFIAPI MemoryGraphicsOutput::UgaBlt(EFI_UGA_DRAW_PROTOCOL* self, EFI_UGA_PIXEL* buffer,
                                               EFI_UGA_BLT_OPERATION operation, UINTN sx, UINTN sy, UINTN dx, UINTN dy,
                                               UINTN width, UINTN height, UINTN delta) {
  MemoryGraphicsOutput* g = reinterpret_cast<Uga*>(self)->owner;
  EFI_GRAPHICS_OUTPUT_BLT_OPERATION op;
  switch (operation) {
    case EfiUgaVideoFill: op = EfiBltVideoFill; break;
    case EfiUgaBltBufferToVideo: op = EfiBltBufferToVideo; break;
    default: return EFI_UNSUPPORTED;
  }
  return Blt(&g->protocol_, reinterpret_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(buffer), op, sx, sy, dx, dy, width,
             height, delta);
}
