// Test data shared by the codec and kernel-cache benchmarks: real x86-64 machine code, taken
// from the host's shared libraries so that compressors see what a kernel looks like, and the
// LZ4 peer stream both compare against.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Whole shared libraries, in name order, until `size` bytes; cut to exactly `size`. Shorter
// when the host has too few libraries (callers check the size).
std::vector<uint8_t> SharedLibraryMachineCode(size_t size);

// An LZ4 block compressed at HC level 9; empty when compression fails.
std::vector<uint8_t> Lz4Hc9(const std::vector<uint8_t>& in);
