/* Port I/O, the first serial port and the emulator's exit port, for the probe kernel. */
#pragma once

#include <stdint.h>

static inline void probe_out8(uint16_t port, uint8_t value) { __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port)); }
static inline void probe_out32(uint16_t port, uint32_t value) { __asm__ volatile("outl %0, %1" : : "a"(value), "Nd"(port)); }
static inline uint8_t probe_in8(uint16_t port) {
  uint8_t value;
  __asm__ volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

void probe_serial_init(void);
void probe_print(const char* text);
void probe_print_hex(uint64_t value);
/* Ends the run: isa-debug-exit turns value v into the emulator's exit status (v << 1) | 1. */
_Noreturn void probe_exit(uint32_t value);
