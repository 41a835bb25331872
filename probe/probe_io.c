#include "probe_io.h"

enum { kSerial = 0x3F8, kDebugExit = 0xF4 };

void probe_serial_init(void) {
  probe_out8(kSerial + 1, 0x00); /* no interrupts */
  probe_out8(kSerial + 3, 0x80); /* divisor latch */
  probe_out8(kSerial + 0, 0x01); /* 115200 baud */
  probe_out8(kSerial + 1, 0x00);
  probe_out8(kSerial + 3, 0x03); /* 8 bits, no parity, one stop bit */
  probe_out8(kSerial + 2, 0xC7); /* FIFO on and cleared */
}

static void probe_put(char c) {
  for (int spins = 0; spins < 100000 && !(probe_in8(kSerial + 5) & 0x20); ++spins) {
  }
  probe_out8(kSerial, (uint8_t)c);
}

void probe_print(const char* text) {
  for (; *text; ++text) {
    if (*text == '\n') probe_put('\r');
    probe_put(*text);
  }
}

void probe_print_hex(uint64_t value) {
  char digits[19] = "0x";
  for (int i = 0; i < 16; ++i) digits[2 + i] = "0123456789abcdef"[(value >> (60 - 4 * i)) & 0xF];
  digits[18] = 0;
  probe_print(digits);
}

_Noreturn void probe_exit(uint32_t value) {
  probe_out32(kDebugExit, value);
  for (;;) __asm__ volatile("cli; hlt");
}
