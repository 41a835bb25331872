// The boot variables ProcessOptions reads.
#pragma once

#include "efi/types.h"

// True when the variable exists (a buffer-too-small answer for room bytes counts as existing).
bool BootVariableExists(const CHAR16* name, const EFI_GUID& guid, UINTN room);

// "csr-active-config": its first four bytes (fewer are zero-extended); 0 when absent.
UINT32 ReadCsrActiveConfigVariable();

// "boot-args" as a NUL-terminated pool text (the caller frees it); null when absent or when
// it changed size between the two reads. EFI_OUT_OF_RESOURCES when no buffer can be had.
[[nodiscard]] EFI_STATUS ReadBootArgsVariable(char** text);

// "efi-boot-kernelcache-data" in a pool buffer of its size; null and 0 when absent, empty
// or not readable.
void ReadKernelCacheDataVariable(UINT8** data, UINTN* size);
