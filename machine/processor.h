// Processor facts recorded at start.
#pragma once

#include "efi/types.h"

// Reads the processor's features once for the run (the cryptographic code picks its
// instruction paths by them).
void RecordProcessorFeatures();

// True when the processor has everything the "x86_64h" kernel slice assumes.
bool ProcessorSupportsHaswellSubtype();

// Sets CpuSubtype to 3 or 8; anything else, or 8 without the features, is EFI_UNSUPPORTED.
EFI_STATUS SetCpuSubtype(UINT32 subtype);

// The hypervisor-present bit (CPUID leaf 1 ECX bit 31).
bool ProcessorIsVirtualMachine();
