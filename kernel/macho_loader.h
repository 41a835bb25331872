// The Mach-O kernel loader: copies a 64-bit Mach-O kernel into the kernel region at its
// kernel addresses and, when a slide is in force, moves it up by the slide in place.
#pragma once

#include "efi/types.h"
#include "files/boot_file.h"
#include "kernel/kernel_image_info.h"
#include "kernel/macho_placement.h"

// A 32-bit kernel: the loader said so on the console, the boot ends with EFI_UNSUPPORTED.
constexpr EFI_STATUS kStatusKernel32Bit = EFI_INCOMPATIBLE_VERSION;

// Loads the kernel from the file's slice (chosen by SelectFileSlice from the current
// position) and widens `info` (which the caller starts at zero) to cover every segment and
// the entry point. A kernel that is not position-independent cancels the slide.
// Returns EFI_SUCCESS, EFI_NOT_FOUND (no slice), EFI_LOAD_ERROR (malformed or out-of-bounds
// data, an image with no entry point), EFI_UNSUPPORTED (a 32-bit thread state),
// EFI_OUT_OF_RESOURCES (segment memory taken) or the file's read and seek errors.
// A 32-bit kernel is reported and returns kStatusKernel32Bit; no memory for the load
// commands is reported and returns kStatusBootEnding. Segments copied before a failure stay
// in the kernel region.
[[nodiscard]] EFI_STATUS LoadKernelFromStream(BootFile* file, KernelImageInfo* info);

// LoadKernelFromStream over a file that was decompressed into its place (MachOPlaceImage):
// each segment uses the pages the placement took for it instead of taking its own, and a
// segment the placement does not hold is a load error. A null placement loads as usual.
[[nodiscard]] EFI_STATUS LoadPlacedKernel(BootFile* file, const KernelPlacement* placement, KernelImageInfo* info);
