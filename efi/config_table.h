// Lookup in the system table's configuration tables.
#pragma once

#include "efi/efi.h"

// The table registered under guid, or null.
inline void* FindConfigurationTable(const EFI_GUID& guid) {
  if (!gST || !gST->ConfigurationTable) return nullptr;
  for (UINTN i = 0; i < gST->NumberOfTableEntries; ++i) {
    if (GuidEqual(gST->ConfigurationTable[i].VendorGuid, guid)) return gST->ConfigurationTable[i].VendorTable;
  }
  return nullptr;
}
