// Hardware access on the real processor (firmware build only).
#include "hw/hw.h"

HwCpuidResult HwCpuid(uint32_t leaf, uint32_t subleaf) {
  HwCpuidResult r;
  __asm__ volatile("cpuid" : "=a"(r.eax), "=b"(r.ebx), "=c"(r.ecx), "=d"(r.edx) : "a"(leaf), "c"(subleaf));
  return r;
}

bool HwRdrand64(uint64_t* value) {
  unsigned char ok;
  uint64_t v;
  __asm__ volatile("rdrand %0; setc %1" : "=r"(v), "=qm"(ok) : : "cc");
  *value = v;
  return ok != 0;
}

uint64_t HwReadTsc() {
  uint32_t lo, hi;
  __asm__ volatile("rdtsc" : "=a"(lo), "=d"(hi));
  return (uint64_t(hi) << 32) | lo;
}

uint64_t HwReadMsr(uint32_t msr) {
  uint32_t lo, hi;
  __asm__ volatile("rdmsr" : "=a"(lo), "=d"(hi) : "c"(msr));
  return (uint64_t(hi) << 32) | lo;
}

void HwWriteMsr(uint32_t msr, uint64_t value) {
  __asm__ volatile("wrmsr" : : "c"(msr), "a"(uint32_t(value)), "d"(uint32_t(value >> 32)));
}

uint64_t HwReadCr0() {
  uint64_t v;
  __asm__ volatile("mov %%cr0, %0" : "=r"(v));
  return v;
}

uint64_t HwReadCr3() {
  uint64_t v;
  __asm__ volatile("mov %%cr3, %0" : "=r"(v));
  return v;
}

uint64_t HwReadCr4() {
  uint64_t v;
  __asm__ volatile("mov %%cr4, %0" : "=r"(v));
  return v;
}

uint8_t HwInPort8(uint16_t port) {
  uint8_t v;
  __asm__ volatile("inb %1, %0" : "=a"(v) : "Nd"(port));
  return v;
}

uint32_t HwInPort32(uint16_t port) {
  uint32_t v;
  __asm__ volatile("inl %1, %0" : "=a"(v) : "Nd"(port));
  return v;
}

void HwOutPort8(uint16_t port, uint8_t value) { __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port)); }

void HwDisableInterrupts() { __asm__ volatile("cli" ::: "memory"); }
void HwEnableInterrupts() { __asm__ volatile("sti" ::: "memory"); }

bool HwInterruptsEnabled() {
  uint64_t flags;
  __asm__ volatile("pushfq; popq %0" : "=r"(flags));
  return (flags & (1u << 9)) != 0;
}

void HwHalt() {
  for (;;) __asm__ volatile("cli; hlt");
}

void HwReadPhysical(uint64_t address, void* buffer, size_t size) {
  // Identity-mapped under UEFI: the physical address is the pointer.
  const volatile uint8_t* src = reinterpret_cast<const volatile uint8_t*>(address);
  uint8_t* dst = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < size; ++i) dst[i] = src[i];
}

void HwEnterKernelGate(const void* gate, uint64_t boot_args, uint64_t entry) {
  using Gate = void(__attribute__((ms_abi))*)(uint64_t, uint64_t);
  reinterpret_cast<Gate>(const_cast<void*>(gate))(boot_args, entry);
}
