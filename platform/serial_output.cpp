#include "platform/serial_output.h"

#include "efi/efi.h"
#include "efi/protocols/simple_text_output.h"
#include "hw/hw.h"

namespace {
constexpr uint16_t kTransmit = 0x3F8;
constexpr uint16_t kLineStatus = 0x3FD;
constexpr uint8_t kTransmitterEmpty = 0x20;
// Bounds the wait so that a machine without the UART does not hang the loader.
constexpr int kMaxPolls = 100000;

void SerialPut(char c) {
  for (int poll = 0; poll < kMaxPolls && !(HwInPort8(kLineStatus) & kTransmitterEmpty); ++poll) {
  }
  HwOutPort8(kTransmit, static_cast<uint8_t>(c));
}

void ConsoleWriteLine(const PlatformText& line) {
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = gST ? gST->ConOut : nullptr;
  if (!out) return;
  CHAR16 wide[PlatformText::kCapacity + 3];
  size_t n = 0;
  for (size_t i = 0; i < line.size(); ++i) wide[n++] = static_cast<unsigned char>(line.c_str()[i]);
  wide[n++] = u'\r';
  wide[n++] = u'\n';
  wide[n] = 0;
  out->OutputString(out, wide);
}
}  // namespace

void SerialWriteLine(const PlatformText& line) {
  for (size_t i = 0; i < line.size(); ++i) SerialPut(line.c_str()[i]);
  SerialPut('\n');
}

void ReportLine(const PlatformText& line) {
  SerialWriteLine(line);
  ConsoleWriteLine(line);
}
