// A graphics output protocol over a host frame buffer, on the console output handle, with
// a record of every block transfer; and the older UGA draw protocol on a handle of its own.
#pragma once

#include <vector>

#include "draw/geometry.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/graphics_output.h"
#include "efi/protocols/uga_draw.h"
#include "testfw/test_firmware.h"

class FakeDisplay {
 public:
  FakeDisplay(TestFirmware& fw, int width, int height) : width_(width), height_(height), pixels_(size_t(width) * height, 0xDEADBEEF) {
    current_ = this;
    info_.HorizontalResolution = UINT32(width);
    info_.VerticalResolution = UINT32(height);
    info_.PixelFormat = PixelBlueGreenRedReserved8BitPerColor;
    info_.PixelsPerScanLine = UINT32(width);
    mode_.Info = &info_;
    mode_.SizeOfInfo = sizeof(info_);
    gop_.Blt = Blt;
    gop_.Mode = &mode_;
    fw.InstallProtocol(fw.SystemTable()->ConsoleOutHandle, kEfiGraphicsOutputProtocolGuid, &gop_);
  }
  ~FakeDisplay() { current_ = nullptr; }

  DUPixel At(int x, int y) const { return pixels_[size_t(y) * width_ + x]; }
  const std::vector<DUPixel>& Pixels() const { return pixels_; }
  std::vector<DURect> transfers;

 private:
  static EFI_STATUS EFIAPI Blt(EFI_GRAPHICS_OUTPUT_PROTOCOL*, EFI_GRAPHICS_OUTPUT_BLT_PIXEL* buffer,
                               EFI_GRAPHICS_OUTPUT_BLT_OPERATION op, UINTN sx, UINTN sy, UINTN dx, UINTN dy, UINTN w,
                               UINTN h, UINTN delta) {
    FakeDisplay* d = current_;
    if (op != EfiBltBufferToVideo || dx + w > UINTN(d->width_) || dy + h > UINTN(d->height_)) return EFI_INVALID_PARAMETER;
    const auto* src = reinterpret_cast<const uint8_t*>(buffer);
    for (UINTN y = 0; y < h; ++y) {
      const auto* row = reinterpret_cast<const DUPixel*>(src + (sy + y) * delta) + sx;
      for (UINTN x = 0; x < w; ++x) d->pixels_[(dy + y) * d->width_ + dx + x] = row[x] & 0x00FFFFFF;
    }
    d->transfers.push_back(DURect{INT32(dx), INT32(dy), INT32(h), INT32(w)});
    return EFI_SUCCESS;
  }

  static inline FakeDisplay* current_ = nullptr;
  int width_, height_;
  std::vector<DUPixel> pixels_;
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION info_{};
  EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE mode_{};
  EFI_GRAPHICS_OUTPUT_PROTOCOL gop_{};
};
