// Decoding of data element contents into new pool buffers. Output grows 4096 bytes at a
// time; every write is checked against the buffer's capacity.
#pragma once

#include "efi/types.h"

// Base64 with the standard alphabet; characters outside it (line breaks, spaces, "=") are
// skipped, and a last group of two or three characters gives one or two bytes.
// EFI_OUT_OF_RESOURCES when the buffer cannot be allocated or grown (nothing is left behind).
[[nodiscard]] EFI_STATUS PlistDecodeBase64(const char* content, UINT8** data, UINT64* length);

// Pairs of hexadecimal digits, as the writer produces them; other characters are skipped
// and a lone last digit is dropped.
[[nodiscard]] EFI_STATUS PlistDecodeHex(const char* content, UINT8** data, UINT64* length);
