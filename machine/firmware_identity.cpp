#include "machine/firmware_identity.h"

#include "flags/guids.h"
#include "efi/efi.h"
#include "hw/hw.h"
#include "lib/mem.h"

namespace {

constexpr UINT64 kMarkerAddress = 0xFFFFFF00;
constexpr UINT64 kRecordsAddress = 0xFFFFFF08;
constexpr UINTN kRecordSize = 18;
constexpr UINTN kRecordCount = 4;
constexpr UINT32 kAttributes = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;

bool VariableExists(const CHAR16* name, UINTN capacity) {
  UINT8 scratch[128];
  UINTN size = capacity;
  EFI_STATUS status = gRT->GetVariable(name, &TarnVendorGuid, nullptr, &size, scratch);
  return status != EFI_NOT_FOUND;
}

void StoreRom(const UINT8 marker[8]) {
  if (VariableExists(u"ROM", 6)) return;
  // Six bytes of the marker area, starting one byte after its first.
  gRT->SetVariable(u"ROM", &TarnVendorGuid, kAttributes, 6, marker + 1);
}

void StoreMlb() {
  if (VariableExists(u"MLB", 128)) return;
  UINT8 records[kRecordSize * kRecordCount];
  MemSet(records, 0xFF, sizeof(records));
  HwReadPhysical(kRecordsAddress, records, sizeof(records));
  UINTN used = 0;
  while (used < kRecordCount && records[used * kRecordSize] != 0xFF) ++used;
  if (used == 0) return;
  const UINT8* last = records + (used - 1) * kRecordSize;
  // The value ends at the first space; a record without one is bounded by its own size.
  UINTN length = 0;
  while (length < kRecordSize && last[length] != 0x20) ++length;
  gRT->SetVariable(u"MLB", &TarnVendorGuid, kAttributes, length, last);
}

}  // namespace

void StoreFirmwareIdentity() {
  UINT8 marker[8];
  HwReadPhysical(kMarkerAddress, marker, sizeof(marker));
  if (MemCompare(marker, "__TARN__", 8) != 0) return;
  StoreRom(marker);
  StoreMlb();
}
