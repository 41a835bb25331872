// Finds the power-management timer port in the FADT. The ACPI tables are firmware memory:
// every length is checked before the bytes behind it are read.
#include "diag/entropy.h"

#include "efi/efi.h"
#include "lib/span.h"

namespace {

constexpr UINTN kTableHeaderSize = 36;
constexpr UINT32 kMaxTableLength = 0x100000;  // no root table is anywhere near this
constexpr UINTN kFadtPmTimerOffset = 76;

const UINT8* Pointer(UINT64 address) { return reinterpret_cast<const UINT8*>(static_cast<UINTN>(address)); }

// A table behind address with signature; false when absent or implausible.
bool ViewTable(UINT64 address, const char* signature, ByteSpan* table) {
  if (address == 0) return false;
  const UINT8* p = Pointer(address);
  UINT32 length = LoadLe32(p + 4);
  if (MemCompare(p, signature, 4) != 0 || length < kTableHeaderSize || length > kMaxTableLength) return false;
  *table = ByteSpan(p, length);
  return true;
}

bool FindRsdp(const UINT8** rsdp) {
  if (!gST || !gST->ConfigurationTable) return false;
  const EFI_GUID* guids[] = {&kEfiAcpi20TableGuid, &kEfiAcpi10TableGuid};
  for (const EFI_GUID* guid : guids) {
    for (UINTN i = 0; i < gST->NumberOfTableEntries; ++i) {
      const EFI_CONFIGURATION_TABLE& entry = gST->ConfigurationTable[i];
      if (!GuidEqual(entry.VendorGuid, *guid) || !entry.VendorTable) continue;
      const UINT8* p = static_cast<const UINT8*>(entry.VendorTable);
      if (MemCompare(p, "RSD PTR ", 8) == 0) {
        *rsdp = p;
        return true;
      }
    }
  }
  return false;
}

// The first "FACP" table listed by the root table (entries of entry_size bytes).
bool FindFadt(const ByteSpan& root, UINTN entry_size, ByteSpan* fadt) {
  for (UINTN offset = kTableHeaderSize; root.Contains(offset, entry_size); offset += entry_size) {
    UINT64 address = 0;
    if (entry_size == 8) {
      root.ReadLe64(offset, &address);
    } else {
      UINT32 narrow = 0;
      root.ReadLe32(offset, &narrow);
      address = narrow;
    }
    if (ViewTable(address, "FACP", fadt)) return true;
  }
  return false;
}

}  // namespace

EFI_STATUS EntropyFindPmTimerPort(UINT16* port) {
  const UINT8* rsdp = nullptr;
  if (!FindRsdp(&rsdp)) return EFI_NOT_FOUND;
  ByteSpan root;
  ByteSpan fadt;
  bool found = false;
  const UINT8 revision = rsdp[15];
  const UINT64 xsdt = revision >= 2 ? LoadLe64(rsdp + 24) : 0;
  if (xsdt && ViewTable(xsdt, "XSDT", &root)) found = FindFadt(root, 8, &fadt);
  if (!found && ViewTable(LoadLe32(rsdp + 16), "RSDT", &root)) found = FindFadt(root, 4, &fadt);
  UINT32 block = 0;
  if (!found || !fadt.ReadLe32(kFadtPmTimerOffset, &block) || (block & 0xFFFF) == 0) return EFI_NOT_FOUND;
  *port = static_cast<UINT16>(block & 0xFFFF);
  return EFI_SUCCESS;
}
