// Loading one kernel cache file: the compressed container (LZSS or LZVN, checked with
// Adler-32) or a plain Mach-O kernel, handed on to the Mach-O loader.
#pragma once

#include "efi/types.h"
#include "files/boot_file.h"
#include "kernel/kernel_image_info.h"

// Selects the file's x86-64 slice; when it is a container, reads, decompresses and checks
// it and loads the kernel from the uncompressed bytes, else loads the file itself.
// `info` is cleared first. A container whose slide-support word is 0 cancels the slide.
// Returns the slice and Mach-O loader errors, EFI_UNSUPPORTED (unknown method),
// EFI_LOAD_ERROR (header cut short), EFI_NOT_FOUND (compressed data shorter than its size),
// EFI_OUT_OF_RESOURCES, EFI_DEVICE_ERROR (decompressed length wrong) or EFI_CRC_ERROR
// (checksum wrong). A container is closed once decompressed; the record then holds no
// source and the caller's BootFileClose does nothing more. A kernel that can be placed
// (MachOPlaceImage) is decompressed straight into its pages; when such a load fails, its
// pages go back and the kernel region is empty again.
[[nodiscard]] EFI_STATUS LoadPrelinkedKernel(BootFile* file, KernelImageInfo* info);
