// The last steps before the kernel: the runtime area and the memory map in the kernel
// region, the exit of boot services, the ACPI reserved-area carve-out and the move of the
// runtime services to their kernel addresses.
#pragma once

#include "efi/efi.h"
#include "handoff/boot_args.h"

// Fills the block's memory-map, runtime, system-table and kernel-region fields.
// acpi_reserved is 0 when there is none. Every failure is reported and returns
// kStatusBootEnding; once boot services are gone (gBS null) only a halt is left.
[[nodiscard]] EFI_STATUS ExitToKernel(BootArgs* args, UINT64 acpi_reserved);

// Marks the 16 KiB ACPI reserved area at address as ACPI non-volatile memory, appending
// descriptors at *end. Leaves the map alone when no usable descriptor holds the address.
void CarveAcpiReservedArea(EFI_MEMORY_DESCRIPTOR* map, EFI_MEMORY_DESCRIPTOR** end, UINTN descriptor_size,
                           UINT64 address);
