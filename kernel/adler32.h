// Adler-32 (RFC 1950) over the uncompressed kernel cache.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Returns the Adler-32 of length bytes at data: (b << 16) | a with a starting at 1 and b at
// 0, both modulo 65521. Uses the SSSE3 path when the processor reports it; both paths give
// the same value for every input.
uint32_t CalculateAdler32(const void* data, size_t length);

// An Adler-32 taken over a stream in pieces: the same value as CalculateAdler32 over all of
// them. Start asks the processor once which path to take (in a virtual machine that question
// costs more than checksumming a stretch).
constexpr uint32_t kAdler32Start = 1;
struct Adler32Running {
  uint32_t value;  // over the bytes so far
  bool vector;     // the SSSE3 path
};
Adler32Running StartAdler32();
void UpdateAdler32(Adler32Running* running, const void* data, size_t length);
