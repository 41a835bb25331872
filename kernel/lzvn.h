// LZVN: the byte-oriented LZ77 of the "lzvn" kernel cache method and the packed boot
// pictures. Each instruction is an opcode (with 0 to 2 operand bytes), up to 271 literal
// bytes, then a match copied from earlier output; the previous match distance can be reused.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace lzvn {
constexpr uint8_t kEndOfStream = 0x06;  // followed by seven zero bytes
constexpr size_t kEndOfStreamSize = 8;
constexpr size_t kMinimumBuffer = 8;
}  // namespace lzvn

// Decodes an LZVN stream into destination and returns the number of bytes produced.
// Returns 0 when either buffer is shorter than 8 bytes, on an undefined opcode, when an
// instruction reaches past the end of the source, or when a match distance is 0 or reaches
// before the start of the output. When the destination fills during a copy, returns
// destination_capacity at once. Never reads or writes outside the two buffers.
size_t DecompressLzvn(void* destination, size_t destination_capacity, const void* source, size_t source_length);
