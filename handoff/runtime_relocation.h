// Moves the firmware's runtime regions into the runtime area of the kernel region and
// switches the runtime services to their kernel addresses (after boot services are gone).
#pragma once

#include "efi/efi.h"

struct RuntimeArea {
  UINT64 low_physical;
  UINT64 high_physical;  // end, exclusive
  UINT64 virtual_start;  // kernel address of low_physical
};

// append_end: where descriptors may be appended (advanced); null to edit in place only.
// Every failure is reported and returns kStatusBootEnding.
[[nodiscard]] EFI_STATUS RelocateRuntimeServices(EFI_MEMORY_DESCRIPTOR* map, EFI_MEMORY_DESCRIPTOR* map_end,
                                   EFI_MEMORY_DESCRIPTOR** append_end, UINTN descriptor_size,
                                   UINT32 descriptor_version, const RuntimeArea& area);
