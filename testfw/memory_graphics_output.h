// An in-memory display for host tests: a graphics output protocol whose frame buffer is a
// host array, installed on the console-output handle of the current TestFirmware.
//
//   MemoryGraphicsOutput screen(1024, 768);   // installs itself on ConsoleOutHandle
//   ... code under test draws ...
//   EXPECT_EQ(screen.Pixel(512, 384), 0x00BFBFBFu);
//   auto box = screen.BoundingBox(0x00BFBFBF); // everything that is not the background
//
// Blt follows the UEFI rules: rectangles that leave the screen are refused with
// EFI_INVALID_PARAMETER. Like a real display it keeps colour only: the reserved byte of
// every pixel it writes is zero. Keep the object alive while code runs.
//
// Tests that must tell pixels no transfer reached from drawn ones start from a word no
// transfer writes, and read the areas each transfer changed:
//   MemoryGraphicsOutput display(40, 30, MemoryGraphicsOutput::kUnwritten);
//   ... code under test draws ...
//   EXPECT_EQ(display.Transfers().size(), 1u);
//
// Older firmware offers only the UGA draw protocol on the console:
//   MemoryGraphicsOutput screen(800, 600, PixelBlueGreenRedReserved8BitPerColor,
//                               MemoryGraphicsOutput::Device::kUgaDraw);
// installs that instead (32 bits per pixel, no frame buffer to be seen), on the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "efi/protocols/graphics_output.h"
#include "efi/protocols/uga_draw.h"

class MemoryGraphicsOutput {
 public:
  enum class Device { kGraphicsOutput, kUgaDraw };
  MemoryGraphicsOutput(uint32_t width, uint32_t height,
                       EFI_GRAPHICS_PIXEL_FORMAT format = PixelBlueGreenRedReserved8BitPerColor,
                       Device device = Device::kGraphicsOutput);
  // A graphics output protocol whose pixels all hold the word fill until drawn over.
  MemoryGraphicsOutput(uint32_t width, uint32_t height, uint32_t fill);
  // A word no transfer writes (its reserved byte is set).
  static constexpr uint32_t kUnwritten = 0xDEADBEEF;
  ~MemoryGraphicsOutput();
  MemoryGraphicsOutput(const MemoryGraphicsOutput&) = delete;
  MemoryGraphicsOutput& operator=(const MemoryGraphicsOutput&) = delete;

  EFI_GRAPHICS_OUTPUT_PROTOCOL* Protocol() { return &protocol_; }
  EFI_UGA_DRAW_PROTOCOL* UgaProtocol() { return &uga_.protocol; }
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION* Info() { return &info_; }
  void SetFrameBufferBase(uint64_t base) { mode_.FrameBufferBase = base; }

  // 0x00RRGGBB of a pixel.
  uint32_t Pixel(uint32_t x, uint32_t y) const;
  // The smallest rectangle holding every pixel whose colour differs from background; all
  // zero when there is none.
  struct Box {
    uint32_t x, y, width, height;
    bool operator==(const Box&) const = default;
  };
  Box BoundingBox(uint32_t background) const;
  // Every distinct colour inside a rectangle.
  std::vector<uint32_t> Colours(const Box& box) const;
  // Every word of the frame buffer, row by row: 0x00RRGGBB where drawn, the fill elsewhere.
  const std::vector<uint32_t>& Pixels() const { return pixels_; }
  // Every call of Blt, refused ones included.
  int Blts() const { return blts_; }
  // The area each successful Blt changed, in order, until cleared.
  const std::vector<Box>& Transfers() const { return transfers_; }
  void ClearTransfers() { transfers_.clear(); }

 private:
  static EFI_STATUS EFIAPI QueryMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* self, UINT32 mode, UINTN* size,
                                     EFI_GRAPHICS_OUTPUT_MODE_INFORMATION** info);
  static EFI_STATUS EFIAPI SetMode(EFI_GRAPHICS_OUTPUT_PROTOCOL* self, UINT32 mode);
  static EFI_STATUS EFIAPI Blt(EFI_GRAPHICS_OUTPUT_PROTOCOL* self, EFI_GRAPHICS_OUTPUT_BLT_PIXEL* buffer,
                               EFI_GRAPHICS_OUTPUT_BLT_OPERATION operation, UINTN sx, UINTN sy, UINTN dx, UINTN dy,
                               UINTN width, UINTN height, UINTN delta);
  static EFI_STATUS EFIAPI UgaGetMode(EFI_UGA_DRAW_PROTOCOL* self, UINT32* width, UINT32* height, UINT32* depth,
                                      UINT32* refresh);
  static EFI_STATUS EFIAPI UgaSetMode(EFI_UGA_DRAW_PROTOCOL* self, UINT32 width, UINT32 height, UINT32 depth,
                                      UINT32 refresh);
  static EFI_STATUS EFIAPI UgaBlt(EFI_UGA_DRAW_PROTOCOL* self, EFI_UGA_PIXEL* buffer, EFI_UGA_BLT_OPERATION operation,
                                  UINTN sx, UINTN sy, UINTN dx, UINTN dy, UINTN width, UINTN height, UINTN delta);

  EFI_GRAPHICS_OUTPUT_PROTOCOL protocol_{};  // first member: the protocol pointer is the object
  EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE mode_{};
  EFI_GRAPHICS_OUTPUT_MODE_INFORMATION info_{};
  struct Uga {
    EFI_UGA_DRAW_PROTOCOL protocol;  // first member: the protocol pointer is the record
    MemoryGraphicsOutput* owner;
  } uga_{};
  Device device_;
  std::vector<uint32_t> pixels_;  // the frame buffer: blue, green, red, reserved in each word
  int blts_ = 0;
  std::vector<Box> transfers_;
};
