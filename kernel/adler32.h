// Adler-32 (RFC 1950) over the uncompressed kernel cache.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Returns the Adler-32 of length bytes at data: (b << 16) | a with a starting at 1 and b at
// 0, both modulo 65521. Uses the SSSE3 path when the processor reports it; both paths give
// the same value for every input.
uint32_t CalculateAdler32(const void* data, size_t length);
