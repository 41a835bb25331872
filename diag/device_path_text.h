// Readable text of a device path: one fragment per node, joined by "/", for instance
// "Acpi(PNP0A03,0)/Pci(1F|2)/SATA(0,0)/HD(Part2,Sig...)".
#pragma once

#include "output/ascii_format.h"
#include "diag/device_path_build.h"
#include "efi/protocols/device_path.h"

// A growable pool string for building device-path text.
struct PoolText {
  CHAR16* Text;     // pool string, or null while empty
  UINTN Length;     // bytes, without the terminator
  UINTN MaxLength;  // kPoolTextMaxLength after every append
};
constexpr UINTN kPoolTextMaxLength = 960;

// Formats with the UCS-2 engine and appends the result when old and new text with the
// terminator take at most kPoolTextMaxLength - 1 bytes; otherwise (and when memory runs out)
// the text stays as it was. Returns text->Text.
CHAR16* CatPrint(PoolText* text, const CHAR16* format, ...);

// A new pool string with the text of path (empty for a null path); null when memory runs out.
// Text that would not fit kPoolTextMaxLength ends after the last node that fitted.
// The caller frees it with PoolFree.
CHAR16* DevicePathToText(const EFI_DEVICE_PATH_PROTOCOL* path);
// The same for a path known to lie within max_bytes: nothing outside them is read, and a path
// without an end node ends at the last whole node.
CHAR16* DevicePathToTextBounded(const void* path, UINTN max_bytes);

// DevicePathTextCallback (the "%D" conversion of the 8-bit engine) is declared in ascii_format.h.
