#include "machine/smbios.h"

#include "efi/config_table.h"
#include "lib/mem.h"

namespace {

// Entry points are read where the firmware put them; their own length fields bound them.
bool FromSmbios3(const UINT8* ep, ByteSpan* table) {
  if (MemCompare(ep, "_SM3_", 5) != 0) return false;
  ByteSpan header(ep, 24);
  UINT32 max_size = 0;
  UINT64 address = 0;
  if (!header.ReadLe32(0x0C, &max_size) || !header.ReadLe64(0x10, &address) || !address || !max_size) return false;
  *table = ByteSpan(reinterpret_cast<const void*>(address), max_size);
  return true;
}

bool FromSmbios2(const UINT8* ep, ByteSpan* table) {
  if (MemCompare(ep, "_SM_", 4) != 0) return false;
  ByteSpan header(ep, 0x1F);
  uint16_t length = 0;
  UINT32 address = 0;
  if (!header.ReadLe16(0x16, &length) || !header.ReadLe32(0x18, &address) || !address || !length) return false;
  *table = ByteSpan(reinterpret_cast<const void*>(static_cast<UINTN>(address)), length);
  return true;
}

}  // namespace

bool SmbiosFindTable(ByteSpan* table) {
  if (auto* ep = static_cast<const UINT8*>(FindConfigurationTable(kEfiSmbios3TableGuid))) {
    if (FromSmbios3(ep, table)) return true;
  }
  if (auto* ep = static_cast<const UINT8*>(FindConfigurationTable(kEfiSmbiosTableGuid))) {
    if (FromSmbios2(ep, table)) return true;
  }
  return false;
}

bool SmbiosNextStructure(ByteSpan table, UINTN* offset, SmbiosStructure* out) {
  UINTN at = *offset;
  uint8_t type = 0, length = 0;
  uint16_t handle = 0;
  if (!table.ReadU8(at, &type) || !table.ReadU8(at + 1, &length) || !table.ReadLe16(at + 2, &handle)) return false;
  if (length < 4 || type == 127) return false;
  ByteSpan formatted;
  if (!table.Slice(at, length, &formatted)) return false;
  // The string set ends with two NULs in a row (an empty set is just those two).
  UINTN end = at + length;
  const UINT8* bytes = table.data();
  while (end + 1 < table.size() && !(bytes[end] == 0 && bytes[end + 1] == 0)) ++end;
  if (end + 1 >= table.size()) return false;
  end += 2;
  *out = SmbiosStructure{type, length, handle, formatted, ByteSpan(bytes + at + length, end - at - length)};
  *offset = end;
  return true;
}

const char* SmbiosString(const SmbiosStructure& s, UINT8 index, UINTN* length) {
  if (index == 0) return nullptr;
  const char* text = reinterpret_cast<const char*>(s.strings.data());
  UINTN size = s.strings.size();
  UINTN at = 0;
  for (UINT8 n = 1; at < size; ++n) {
    UINTN len = 0;
    while (at + len < size && text[at + len]) ++len;
    if (len == 0) return nullptr;  // the terminating empty string: no more strings
    if (n == index) {
      if (length) *length = len;
      return text + at;
    }
    at += len + 1;
  }
  return nullptr;
}

const char* SmbiosFieldString(const SmbiosStructure& s, UINTN field_offset, UINTN* length) {
  UINT8 index = 0;
  if (!s.formatted.ReadU8(field_offset, &index)) return nullptr;
  return SmbiosString(s, index, length);
}
