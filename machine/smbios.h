// SMBIOS structure walking. The table comes from the firmware; every structure, string set
// and field is read within the table's stated length.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

struct SmbiosStructure {
  UINT8 type;
  UINT8 length;       // formatted area length, header included
  UINT16 handle;
  ByteSpan formatted;  // the formatted area (length bytes)
  ByteSpan strings;    // the string set that follows, up to and including its double NUL
};

// The structure table named by the SMBIOS entry point (SMBIOS 3 preferred, then 2.x).
// False when there is none or the entry point is malformed.
bool SmbiosFindTable(ByteSpan* table);

// Iterates structures in a table: call with *offset = 0 first; false at the end (type 127)
// or when the next structure would not fit.
bool SmbiosNextStructure(ByteSpan table, UINTN* offset, SmbiosStructure* out);

// The n-th string (1-based) of a structure, or null for 0 or a missing string. The pointer
// stays inside the table; *length excludes the NUL.
const char* SmbiosString(const SmbiosStructure& s, UINT8 index, UINTN* length);

// Reads the string whose index is the byte at field_offset of the formatted area.
const char* SmbiosFieldString(const SmbiosStructure& s, UINTN field_offset, UINTN* length);
