#include "hw/fake/hw_fake.h"

#include <cpuid.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <tuple>

namespace {

struct CpuidOverride {
  uint32_t set[4] = {0, 0, 0, 0};
  uint32_t clear[4] = {0, 0, 0, 0};
  bool replace = false;
  HwCpuidResult value{};
};

struct FakeState {
  std::map<std::pair<uint32_t, uint32_t>, CpuidOverride> cpuid;
  std::deque<uint64_t> rdrand_queue;
  uint64_t rdrand_counter = 0x0123456789ABCDEFull;
  int rdrand_failures = 0;
  uint64_t tsc = 1000000;
  uint64_t tsc_step = 1000;
  std::function<uint32_t(uint16_t, int)> port_reader;
  std::string serial;
  std::map<uint64_t, uint8_t> physical;
  std::map<uint32_t, uint64_t> msrs;
  std::function<void()> halt_handler;
  std::function<void()> kernel_entry_handler;
  HwFakeKernelEntry kernel_entry;
  bool interrupts = true;
  uint64_t cr0 = 0x80000013;  // PG, NE, MP, PE
  uint64_t cr4 = 0x620;       // OSXMMEXCPT, OSFXSR, PAE
};

FakeState& State() {
  static FakeState state;
  return state;
}

uint32_t& Field(HwCpuidResult& r, int reg) {
  switch (reg) {
    case 0: return r.eax;
    case 1: return r.ebx;
    case 2: return r.ecx;
    default: return r.edx;
  }
}

}  // namespace

void HwFakeReset() { State() = FakeState(); }

void HwFakeSetCpuidBits(uint32_t leaf, uint32_t subleaf, HwReg reg, uint32_t bits, bool on) {
  CpuidOverride& o = State().cpuid[{leaf, subleaf}];
  int r = static_cast<int>(reg);
  if (on) {
    o.set[r] |= bits;
    o.clear[r] &= ~bits;
  } else {
    o.clear[r] |= bits;
    o.set[r] &= ~bits;
  }
}

void HwFakeSetCpuid(uint32_t leaf, uint32_t subleaf, HwCpuidResult result) {
  CpuidOverride& o = State().cpuid[{leaf, subleaf}];
  o = CpuidOverride();
  o.replace = true;
  o.value = result;
}

void HwFakeSetAesInstructions(bool present) { HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxAes, present); }
void HwFakeSetShaInstructions(bool present) { HwFakeSetCpuidBits(7, 0, HwReg::kEbx, hw::kLeaf7EbxSha, present); }
void HwFakeSetRdrand(bool present) { HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxRdrand, present); }
void HwFakeSetHypervisor(bool present) { HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxHypervisor, present); }

void HwFakeQueueRdrand(std::vector<uint64_t> values) {
  for (uint64_t v : values) State().rdrand_queue.push_back(v);
}
void HwFakeFailRdrand(int times) { State().rdrand_failures = times; }

void HwFakeSetTsc(uint64_t value, uint64_t step) {
  State().tsc = value;
  State().tsc_step = step;
}

void HwFakeSetPortReader(std::function<uint32_t(uint16_t, int)> reader) { State().port_reader = std::move(reader); }
const std::string& HwFakeSerialOutput() { return State().serial; }
void HwFakeClearSerialOutput() { State().serial.clear(); }

void HwFakeSetPhysical(uint64_t address, const void* bytes, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < size; ++i) State().physical[address + i] = p[i];
}

void HwFakeSetMsr(uint32_t msr, uint64_t value) { State().msrs[msr] = value; }
void HwFakeSetHaltHandler(std::function<void()> handler) { State().halt_handler = std::move(handler); }
bool HwFakeInterruptsEnabled() { return State().interrupts; }
const HwFakeKernelEntry& HwFakeLastKernelEntry() { return State().kernel_entry; }
void HwFakeSetKernelEntryHandler(std::function<void()> handler) { State().kernel_entry_handler = std::move(handler); }

void HwEnterKernelGate(const void* gate, uint64_t boot_args, uint64_t entry) {
  State().kernel_entry = HwFakeKernelEntry{true, gate, boot_args, entry, State().interrupts};
  if (State().kernel_entry_handler) State().kernel_entry_handler();
}

HwCpuidResult HwCpuid(uint32_t leaf, uint32_t subleaf) {
  HwCpuidResult r{};
  auto it = State().cpuid.find({leaf, subleaf});
  if (it != State().cpuid.end() && it->second.replace) {
    r = it->second.value;
  } else {
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
  }
  if (it != State().cpuid.end()) {
    for (int i = 0; i < 4; ++i) Field(r, i) = (Field(r, i) | it->second.set[i]) & ~it->second.clear[i];
  }
  return r;
}

bool HwRdrand64(uint64_t* value) {
  FakeState& s = State();
  if (s.rdrand_failures > 0) {
    --s.rdrand_failures;
    *value = 0;
    return false;
  }
  if (!s.rdrand_queue.empty()) {
    *value = s.rdrand_queue.front();
    s.rdrand_queue.pop_front();
    return true;
  }
  // splitmix64: deterministic, well spread.
  uint64_t z = (s.rdrand_counter += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  *value = z ^ (z >> 31);
  return true;
}

uint64_t HwReadTsc() {
  uint64_t v = State().tsc;
  State().tsc += State().tsc_step;
  return v;
}

uint64_t HwReadMsr(uint32_t msr) {
  auto it = State().msrs.find(msr);
  return it == State().msrs.end() ? 0 : it->second;
}
void HwWriteMsr(uint32_t msr, uint64_t value) { State().msrs[msr] = value; }

void HwFakeSetControlRegisters(uint64_t cr0, uint64_t cr4) {
  State().cr0 = cr0;
  State().cr4 = cr4;
}

uint64_t HwReadCr0() { return State().cr0; }
uint64_t HwReadCr3() { return 0x1000; }
uint64_t HwReadCr4() { return State().cr4; }

static uint32_t ReadPort(uint16_t port, int width) {
  if (State().port_reader) return State().port_reader(port, width);
  if (port == 0x3FD) return 0x60;  // transmitter holding register and shifter empty
  return width == 8 ? 0xFF : 0xFFFFFFFF;
}

uint8_t HwInPort8(uint16_t port) { return static_cast<uint8_t>(ReadPort(port, 8)); }
uint32_t HwInPort32(uint16_t port) { return ReadPort(port, 32); }
void HwOutPort8(uint16_t port, uint8_t value) {
  if (port == 0x3F8) State().serial.push_back(static_cast<char>(value));
}

void HwDisableInterrupts() { State().interrupts = false; }
void HwEnableInterrupts() { State().interrupts = true; }
bool HwInterruptsEnabled() { return State().interrupts; }

void HwHalt() {
  if (State().halt_handler) State().halt_handler();
  std::abort();
}

void HwReadPhysical(uint64_t address, void* buffer, size_t size) {
  uint8_t* dst = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < size; ++i) {
    auto it = State().physical.find(address + i);
    dst[i] = it == State().physical.end() ? 0xFF : it->second;
  }
}
