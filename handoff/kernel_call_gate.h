// The kernel call gate: a position-independent stub, copied below 4 GiB at start, that
// leaves long mode and jumps to the kernel with the boot-arguments pointer in EAX.
#pragma once

#include "efi/types.h"

// The stub as it is copied. Its data sits at the end: a far pointer (32-bit offset,
// selector 0x08), a GDT descriptor (limit 0x18, 64-bit base) and a three-entry GDT.
extern const UINT8 KernelCallGate[];
constexpr UINTN kKernelCallGateSize = 129;
constexpr UINTN kKernelCallGateFarPointer = 0x59;
constexpr UINTN kKernelCallGateGdtDescriptor = 0x5F;
constexpr UINTN kKernelCallGateGdt = 0x69;

// Copies the stub into loader-code pages below 4 GiB; reports a failure.
[[nodiscard]] EFI_STATUS CopyKernelCallGate();
// Where the copy lives (null before CopyKernelCallGate).
const void* KernelCallGateCopy();

// Disables interrupts and calls the copy. Returns only if the kernel returns.
void EnterKernel(UINT64 boot_args, UINT64 entry);
