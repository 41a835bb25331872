// Everything most firmware code needs: base types, the tables and the firmware globals.
#pragma once

#include "efi/boot_services.h"
#include "efi/runtime_services.h"
#include "efi/system_table.h"
#include "efi/types.h"

// The firmware tables, kept by the entry point for the whole run. Host tests point them
// at the test firmware.
extern EFI_HANDLE gImageHandle;
extern EFI_SYSTEM_TABLE* gST;
extern EFI_BOOT_SERVICES* gBS;
extern EFI_RUNTIME_SERVICES* gRT;
