// Processor facts recorded at start.
#pragma once

#include "efi/types.h"

// Reads the processor's features once for the run (the cryptographic code picks its
// instruction paths by them).
void RecordProcessorFeatures();

// True when the processor has everything the "x86_64h" kernel slice assumes.
bool ProcessorSupportsHaswellSubtype();

// The kernel slices hearth chooses between: any x86-64 processor, and the "x86_64h" one.
constexpr UINT32 kCpuSubtypeX86_64All = 3;
constexpr UINT32 kCpuSubtypeX86_64Haswell = 8;

// Sets CpuSubtype to kCpuSubtypeX86_64All or kCpuSubtypeX86_64Haswell; anything else, or
// the Haswell subtype without the features, is EFI_UNSUPPORTED.
[[nodiscard]] EFI_STATUS SetCpuSubtype(UINT32 subtype);

// The hypervisor-present bit (CPUID leaf 1 ECX bit 31).
bool ProcessorIsVirtualMachine();
