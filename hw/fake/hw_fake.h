// Scriptable processor and platform for host tests. By default CPUID answers what the
// host processor answers (so the instruction paths of the crypto code run where the host
// has them); a test switches features off, adds a hypervisor bit, scripts RDRAND, ports,
// MSRs and the bytes at fixed physical addresses. HwFakeReset() restores the defaults.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hw/hw.h"

enum class HwReg { kEax, kEbx, kEcx, kEdx };

void HwFakeReset();

// Forces a CPUID bit on or off for (leaf, subleaf, register).
void HwFakeSetCpuidBits(uint32_t leaf, uint32_t subleaf, HwReg reg, uint32_t bits, bool on);
// Replaces a whole CPUID answer.
void HwFakeSetCpuid(uint32_t leaf, uint32_t subleaf, HwCpuidResult result);

// Convenience switches named after what tests say.
void HwFakeSetAesInstructions(bool present);
void HwFakeSetShaInstructions(bool present);
void HwFakeSetRdrand(bool present);
void HwFakeSetHypervisor(bool present);

// RDRAND draws: values handed out in order, then a counter-based sequence. A draw can be
// made to fail (carry clear) a number of times first.
void HwFakeQueueRdrand(std::vector<uint64_t> values);
void HwFakeFailRdrand(int times);

// The time-stamp counter advances by step on every read.
void HwFakeSetTsc(uint64_t value, uint64_t step);

// Port I/O: reads come from a handler (default: the serial line status reports an empty
// transmitter; anything else reads 0xFF). Bytes written to the first serial port collect
// in a buffer.
void HwFakeSetPortReader(std::function<uint32_t(uint16_t port, int width)> reader);
const std::string& HwFakeSerialOutput();
void HwFakeClearSerialOutput();

// Bytes at fixed physical addresses; unset bytes read as 0xFF, as erased flash does.
void HwFakeSetPhysical(uint64_t address, const void* bytes, size_t size);

// Control registers CR0 and CR4 (default: paging on, SSE enabled, as firmware runs).
void HwFakeSetControlRegisters(uint64_t cr0, uint64_t cr4);

// MSR contents.
void HwFakeSetMsr(uint32_t msr, uint64_t value);

// HwHalt calls this (a test installs one that unwinds back to it); without one it aborts.
void HwFakeSetHaltHandler(std::function<void()> handler);

bool HwFakeInterruptsEnabled();

// What HwEnterKernelGate was called with; the call itself then behaves like HwHalt (the
// test firmware's Run comes back with How::kKernelEntered).
struct HwFakeKernelEntry {
  bool entered = false;
  const void* gate = nullptr;
  uint64_t boot_args = 0;
  uint64_t entry = 0;
  bool interrupts_enabled = true;
};
const HwFakeKernelEntry& HwFakeLastKernelEntry();
void HwFakeSetKernelEntryHandler(std::function<void()> handler);
