// The ACPI lookup over a fuzzed set of tables: the harness links them the way firmware does
// (a root pointer, an XSDT listing every table, FADT pointers aimed at tables of the set) and
// keeps each table's stated length true to its buffer; the lookups must stay inside them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "efi/system_table.h"
#include "machine/acpi.h"
#include "handoff/platform_facts.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kMaxTables = 8;
constexpr uint32_t kMaxStatedLength = 16u << 20;

struct TableSet {
  std::vector<std::unique_ptr<std::vector<uint8_t>>> tables;

  uint64_t Address(size_t index) const { return reinterpret_cast<uint64_t>(tables[index % tables.size()]->data()); }
};

// Splits the input: one count byte, then per table a 16-bit length and its bytes.
void ReadTables(const uint8_t* data, size_t size, TableSet* set) {
  if (size == 0) return;
  size_t count = data[0] % kMaxTables + 1;
  size_t at = 1;
  for (size_t i = 0; i < count && at + 2 <= size; ++i) {
    size_t length = LoadLe16(data + at);
    at += 2;
    if (length > size - at) length = size - at;
    auto table = std::make_unique<std::vector<uint8_t>>(data + at, data + at + length);
    at += length;
    if (table->size() < kHeaderSize) table->resize(kHeaderSize, 0);
    // A plausible stated length is the firmware's promise: make it true.
    uint32_t stated = LoadLe32(table->data() + 4);
    if (stated >= kHeaderSize && stated <= kMaxStatedLength) StoreLe32(table->data() + 4, uint32_t(table->size()));
    set->tables.push_back(std::move(table));
  }
}

// FADT pointers name tables of the set; 32-bit ones cannot reach host memory and are cleared.
void LinkFadts(TableSet* set) {
  for (auto& t : set->tables) {
    std::vector<uint8_t>& fadt = *t;
    if (std::memcmp(fadt.data(), "FACP", 4) != 0) continue;
    for (size_t offset : {36u, 40u}) {
      if (offset + 4 <= fadt.size()) StoreLe32(&fadt[offset], 0);
    }
    for (size_t offset : {132u, 140u}) {
      if (offset + 8 <= fadt.size() && LoadLe64(&fadt[offset]) != 0) {
        StoreLe64(&fadt[offset], set->Address(LoadLe64(&fadt[offset])));
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TableSet set;
  ReadTables(data, size, &set);
  if (set.tables.empty()) return 0;
  LinkFadts(&set);
  std::vector<uint8_t> xsdt(kHeaderSize + 8 * set.tables.size(), 0);
  std::memcpy(xsdt.data(), "XSDT", 4);
  StoreLe32(&xsdt[4], uint32_t(xsdt.size()));
  for (size_t i = 0; i < set.tables.size(); ++i) StoreLe64(&xsdt[kHeaderSize + 8 * i], set.Address(i));
  uint8_t rsdp[36] = {'R', 'S', 'D', ' ', 'P', 'T', 'R', ' '};
  rsdp[15] = data[0] & 0x80 ? 1 : 2;  // revision 1 is never walked
  StoreLe64(rsdp + 24, reinterpret_cast<uint64_t>(xsdt.data()));

  TestFirmware fw;
  fw.SetConfigurationTable(kEfiAcpi20TableGuid, rsdp);
  for (const char* signature : {"FACP", "MCFG", "DSDT", "APIC"}) {
    const UINT8* table = AcpiFindTable(signature);
    if (table && AcpiTableLength(table) == 0) std::abort();
  }
  UINT32 machine = 0;
  AcpiMachineSignature(&machine);
  UINT64 base = 0;
  UINT32 start = 0, end = 0;
  AcpiPciConfig(&base, &start, &end);
  char model[64];
  AcpiModelFromDsdt(model, sizeof(model));
  if (std::strlen(model) > 63) std::abort();
  PlatformModelString();
  return 0;
}
