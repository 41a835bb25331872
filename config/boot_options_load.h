// The booter's load options as the start of the kernel command line.
#pragma once

#include "efi/types.h"

// Converts the load options (UCS-2, size bytes, ending at the first NUL character) to a
// UTF-8 pool text (the caller frees it). Leading white space is skipped; when the options
// then begin with a letter, "/" or "\", the first word is the booter's own path and is
// skipped too, unless an "=" comes before the next white space. The text starts at the
// first character that is not white space. Null or empty options give "".
[[nodiscard]] EFI_STATUS ConvertLoadOptions(const void* options, UINTN size, char** text);
