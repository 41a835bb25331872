#include "output/serial.h"

#include "hw/hw.h"

namespace {
constexpr uint16_t kTransmit = 0x3F8;
constexpr uint16_t kLineStatus = 0x3FD;
constexpr uint8_t kTransmitterEmpty = 0x20;
// Bounds the wait so that a missing UART cannot hang the boot.
constexpr int kMaxPolls = 100000;
}  // namespace

void SerialWrite(const char* text, UINTN length) {
  for (UINTN i = 0; i < length; ++i) {
    for (int poll = 0; poll < kMaxPolls && !(HwInPort8(kLineStatus) & kTransmitterEmpty); ++poll) {
    }
    HwOutPort8(kTransmit, static_cast<uint8_t>(text[i]));
  }
}
