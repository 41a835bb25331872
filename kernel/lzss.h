// LZSS of a 4096-byte ring window: the "lzss" kernel cache method.
//
// Stream: a flag byte announces the next eight items, lowest bit first. A set bit is one
// literal byte; a clear bit is a two-byte reference b0, b1 to ring position
// b0 | ((b1 & 0xF0) << 4) of length (b1 & 0x0F) + 3. The ring starts with positions 0 to
// 4077 holding spaces and the write index at 4078.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace lzss {
constexpr size_t kRingSize = 4096;      // N
constexpr size_t kMaxMatch = 18;        // F
constexpr size_t kThreshold = 2;        // references are longer than this
constexpr size_t kRingStart = kRingSize - kMaxMatch;  // first write index (4078)
}  // namespace lzss

// Decodes source_length bytes of LZSS into destination and returns the number of bytes
// produced. Decoding stops when the source runs out (a partial item is dropped) or when
// destination_capacity bytes have been produced; nothing is read or written outside the
// two buffers. Ring positions 4078 to 4095 read before they are written hold zeros.
size_t DecompressLzss(void* destination, size_t destination_capacity, const void* source, size_t source_length);
