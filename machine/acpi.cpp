#include "machine/acpi.h"

#include "output/ascii_format.h"
#include "efi/config_table.h"
#include "lib/mem.h"
#include "lib/span.h"

namespace {

constexpr UINT32 kHeaderSize = 36;
constexpr UINT32 kMaxTableLength = 16u << 20;  // anything larger is a broken pointer
constexpr UINTN kRsdpSize = 36;

const UINT8* Pointer(UINT64 address) { return reinterpret_cast<const UINT8*>(static_cast<UINTN>(address)); }

// A table's bytes as its header states them.
ByteSpan Table(const UINT8* table) { return ByteSpan(table, AcpiTableLength(table)); }

const UINT8* FindRsdp() {
  if (auto* rsdp = static_cast<const UINT8*>(FindConfigurationTable(kEfiAcpi20TableGuid))) return rsdp;
  return static_cast<const UINT8*>(FindConfigurationTable(kEfiAcpi10TableGuid));
}

const UINT8* FadtPointer(UINTN offset32, UINTN offset64) {
  const UINT8* fadt = AcpiFindTable("FACP");
  if (!fadt) return nullptr;
  ByteSpan t = Table(fadt);
  UINT64 wide = 0;
  UINT32 narrow = 0;
  if (fadt[8] >= 3 && t.ReadLe64(offset64, &wide) && wide) return Pointer(wide);
  if (t.ReadLe32(offset32, &narrow) && narrow) return Pointer(narrow);
  return nullptr;
}

}  // namespace

UINT32 AcpiTableLength(const UINT8* table) {
  if (!table) return 0;
  UINT32 length = LoadLe32(table + 4);
  return length >= kHeaderSize && length <= kMaxTableLength ? length : 0;
}

const UINT8* AcpiFindTable(const char signature[4]) {
  const UINT8* rsdp = FindRsdp();
  if (!rsdp || MemCompare(rsdp, "RSD PTR ", 8) != 0) return nullptr;
  ByteSpan root_pointer(rsdp, kRsdpSize);
  UINT8 revision = rsdp[15];
  UINT64 root_address = 0;
  UINTN entry_size = 0;
  if (revision == 0) {
    UINT32 rsdt = 0;
    root_pointer.ReadLe32(16, &rsdt);
    root_address = rsdt;
    entry_size = 4;
  } else if (revision >= 2) {
    root_pointer.ReadLe64(24, &root_address);
    entry_size = 8;
  }
  if (!root_address) return nullptr;
  ByteSpan root = Table(Pointer(root_address));
  for (UINTN at = kHeaderSize; at + entry_size <= root.size(); at += entry_size) {
    UINT64 address = 0;
    if (entry_size == 4) {
      UINT32 narrow = 0;
      root.ReadLe32(at, &narrow);
      address = narrow;
    } else {
      root.ReadLe64(at, &address);
    }
    const UINT8* table = Pointer(address);
    if (table && MemCompare(table, signature, 4) == 0 && AcpiTableLength(table)) return table;
  }
  return nullptr;
}

bool AcpiMachineSignature(UINT32* signature) {
  const UINT8* facs = FadtPointer(36, 132);
  if (!facs || MemCompare(facs, "FACS", 4) != 0) return false;
  UINT32 length = LoadLe32(facs + 4);
  if (length < 12) return false;
  *signature = LoadLe32(facs + 8);
  return true;
}

const UINT8* AcpiFindDsdt() {
  const UINT8* dsdt = FadtPointer(40, 140);
  return dsdt && AcpiTableLength(dsdt) ? dsdt : nullptr;
}

bool AcpiPciConfig(UINT64* base, UINT32* start_bus, UINT32* end_bus) {
  const UINT8* mcfg = AcpiFindTable("MCFG");
  if (!mcfg || mcfg[8] != 1) return false;
  ByteSpan t = Table(mcfg);
  UINT8 start = 0, end = 0;
  if (!t.ReadLe64(44, base) || !t.ReadU8(54, &start) || !t.ReadU8(55, &end)) return false;
  *start_bus = start;
  *end_bus = end;
  return true;
}

void AcpiModelFromDsdt(char* out, UINTN size) {
  if (size) out[0] = 0;
  const UINT8* dsdt = AcpiFindDsdt();
  if (!dsdt || size == 0) return;
  char id[9];
  UINTN n = 0;
  while (n < 8 && dsdt[16 + n] != ' ' && dsdt[16 + n] != 0) {
    id[n] = static_cast<char>(dsdt[16 + n]);
    ++n;
  }
  id[n] = 0;
  UINT32 revision = LoadLe32(dsdt + 24);
  AsciiSNPrint(out, size, "%s%d,%d", id, static_cast<UINT64>(revision >> 16), static_cast<UINT64>(revision & 0xFFFF));
}
