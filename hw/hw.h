// The one door to the processor and the platform: CPUID, random numbers, the time-stamp
// counter, model-specific and control registers, port I/O, the interrupt flag and reads of
// fixed physical addresses. The firmware image uses the instructions (hw/x86); host tests
// link a scriptable fake (hw/fake) instead.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct HwCpuidResult {
  uint32_t eax;
  uint32_t ebx;
  uint32_t ecx;
  uint32_t edx;
};

// CPUID with the given leaf and sub-leaf.
HwCpuidResult HwCpuid(uint32_t leaf, uint32_t subleaf = 0);

// One RDRAND draw. Returns false when the instruction reported no value (carry clear);
// callers retry a bounded number of times. Callers check the CPUID bit first.
bool HwRdrand64(uint64_t* value);

uint64_t HwReadTsc();

uint64_t HwReadMsr(uint32_t msr);
void HwWriteMsr(uint32_t msr, uint64_t value);

uint64_t HwReadCr0();
uint64_t HwReadCr3();
uint64_t HwReadCr4();

uint8_t HwInPort8(uint16_t port);
uint32_t HwInPort32(uint16_t port);
void HwOutPort8(uint16_t port, uint8_t value);

void HwDisableInterrupts();
void HwEnableInterrupts();
bool HwInterruptsEnabled();

// Stops the processor for good; used only after boot services are gone.
[[noreturn]] void HwHalt();

// Calls the kernel call gate copy with the boot-arguments pointer and the kernel entry.
// Returns only if the gate does.
void HwEnterKernelGate(const void* gate, uint64_t boot_args, uint64_t entry);

// Copies size bytes from a fixed physical address (firmware flash, legacy areas).
void HwReadPhysical(uint64_t address, void* buffer, size_t size);

// The entry point of both EFI images (the linker's /entry): makes SSE usable when the
// firmware left it off (CR0.EM and CR0.TS clear, CR0.MP, CR4.OSFXSR and CR4.OSXMMEXCPT set),
// then jumps to efi_main. Written without compiled code, since any compiled function may
// use SSE registers.
extern "C" void HwImageEntry();

// Control-register bits the loader relies on.
namespace hw {
constexpr uint64_t kCr0Mp = 1u << 1;
constexpr uint64_t kCr0Em = 1u << 2;
constexpr uint64_t kCr0Ts = 1u << 3;
constexpr uint64_t kCr4Osfxsr = 1u << 9;
constexpr uint64_t kCr4Osxmmexcpt = 1u << 10;
}  // namespace hw

// The operating-system side of SSE: CR4.OSFXSR and CR4.OSXMMEXCPT set, CR0.EM clear. Every
// path chosen by a CPUID bit for an XMM instruction set (SSSE3, SSE4.1, AES, SHA, PCLMULQDQ)
// also needs this, or its first instruction raises #UD.
inline bool HwSseEnabled() {
  const uint64_t cr4_bits = hw::kCr4Osfxsr | hw::kCr4Osxmmexcpt;
  return (HwReadCr4() & cr4_bits) == cr4_bits && (HwReadCr0() & hw::kCr0Em) == 0;
}

// CPUID feature bits the loader asks about.
namespace hw {
constexpr uint32_t kLeaf1EcxSsse3 = 1u << 9;
constexpr uint32_t kLeaf1EcxSse41 = 1u << 19;
constexpr uint32_t kLeaf1EcxPclmul = 1u << 1;
constexpr uint32_t kLeaf1EcxAes = 1u << 25;
constexpr uint32_t kLeaf1EcxRdrand = 1u << 30;
constexpr uint32_t kLeaf1EcxHypervisor = 1u << 31;
constexpr uint32_t kLeaf7EbxSha = 1u << 29;
}  // namespace hw
