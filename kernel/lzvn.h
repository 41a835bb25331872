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
// DecompressLzvnStreaming hands on output in stretches of about this many bytes: small
// enough to be still in the second-level cache when the sink reads them.
constexpr size_t kStretch = 64 * 1024;
}  // namespace lzvn

// Decodes an LZVN stream into destination and returns the number of bytes produced.
// Returns 0 when either buffer is shorter than 8 bytes, on an undefined opcode, when an
// instruction reaches past the end of the source, or when a match distance is 0 or reaches
// before the start of the output. When the destination fills during a copy, returns
// destination_capacity at once. Never reads or writes outside the two buffers.
size_t DecompressLzvn(void* destination, size_t destination_capacity, const void* source, size_t source_length);

// Receives finished output in order: n bytes at data, the next stretch after the last.
using LzvnSink = void (*)(void* context, const uint8_t* data, size_t n);

// DecompressLzvn that also hands every produced byte to sink, in stretches of about
// lzvn::kStretch, while the bytes are still in cache (for a checksum over the output). On
// success the stretches cover exactly the returned count; after an error some may have been
// handed on.
size_t DecompressLzvnStreaming(void* destination, size_t destination_capacity, const void* source,
                               size_t source_length, LzvnSink sink, void* context);
