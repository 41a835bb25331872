#include "kernel/lzss.h"

// The output itself serves as the ring: ring position i at output position o lies
// d = ((4078 + o - i - 1) mod 4096) + 1 bytes back, so a reference is an ordinary LZ77 copy
// at distance 1..4096. Only references into the ring's initial contents (the first 4 KiB)
// need the ring's starting picture.

namespace {

using lzss::kRingSize;
using lzss::kRingStart;

constexpr size_t kRingMask = kRingSize - 1;
// Whole flag groups run unchecked while this much source and destination remain.
constexpr size_t kGroupSourceMax = 1 + 8 * 2;
constexpr size_t kGroupOutputMax = 8 * lzss::kMaxMatch + 16;

inline void Copy8(uint8_t* to, const uint8_t* from) {
  uint64_t v;
  __builtin_memcpy(&v, from, 8);
  __builtin_memcpy(to, &v, 8);
}

inline void Copy16(uint8_t* to, const uint8_t* from) {
  uint64_t a, b;
  __builtin_memcpy(&a, from, 8);
  __builtin_memcpy(&b, from + 8, 8);
  __builtin_memcpy(to, &a, 8);
  __builtin_memcpy(to + 8, &b, 8);
}

inline size_t Distance(size_t o, size_t ring_index) { return ((kRingStart + o - ring_index - 1) & kRingMask) + 1; }

// The byte of output position o - d when that lies before the output: 0..4077 start as
// spaces; 4078..4095 are defined here as zeros.
inline uint8_t InitialRingByte(size_t o, size_t d) {
  size_t index = (kRingStart + o - d) & kRingMask;
  return index < kRingStart ? ' ' : 0;
}

// Exact copy of n bytes at distance d, including references into the initial ring.
void CopyReferenceSlow(uint8_t* out, size_t o, size_t d, size_t n) {
  for (size_t j = 0; j < n; ++j, ++o) out[o] = d > o ? InitialRingByte(o, d) : out[o - d];
}

// Copy of up to 18 bytes with room for 32 bytes of overrun after out + o.
inline void CopyReferenceFast(uint8_t* out, size_t o, size_t d, size_t n) {
  uint8_t* to = out + o;
  const uint8_t* from = to - d;
  if (d >= 16) {
    Copy16(to, from);
    Copy16(to + 16, from + 16);
  } else if (d >= 8) {
    Copy8(to, from);
    Copy8(to + 8, from + 8);
    Copy8(to + 16, from + 16);
  } else {
    for (size_t j = 0; j < n; ++j) to[j] = from[j];
  }
}

// One flag byte and its eight items with no bounds checks; the caller guarantees room.
inline void DecodeGroupFast(uint8_t* out, size_t* o_io, const uint8_t** s_io) {
  const uint8_t* s = *s_io;
  size_t o = *o_io;
  unsigned flags = *s++;
  if (flags == 0xFF) {
    Copy8(out + o, s);
    *o_io = o + 8;
    *s_io = s + 8;
    return;
  }
  for (int item = 0; item < 8; ++item, flags >>= 1) {
    if (flags & 1) {
      out[o++] = *s++;
      continue;
    }
    size_t ring_index = s[0] | ((s[1] & 0xF0u) << 4);
    size_t n = (s[1] & 0x0Fu) + lzss::kThreshold + 1;
    s += 2;
    size_t d = Distance(o, ring_index);
    if (d > o) {
      CopyReferenceSlow(out, o, d, n);
    } else {
      CopyReferenceFast(out, o, d, n);
    }
    o += n;
  }
  *o_io = o;
  *s_io = s;
}

}  // namespace

size_t DecompressLzss(void* destination, size_t destination_capacity, const void* source, size_t source_length) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  const uint8_t* s = static_cast<const uint8_t*>(source);
  const uint8_t* end = s + source_length;
  size_t o = 0;
  while (size_t(end - s) >= kGroupSourceMax && destination_capacity - o >= kGroupOutputMax) {
    DecodeGroupFast(out, &o, &s);
  }
  // The tail, item by item with every bound checked.
  unsigned flags = 0;
  while (o < destination_capacity) {
    flags >>= 1;
    if ((flags & 0x100) == 0) {
      if (s == end) break;
      flags = *s++ | 0xFF00u;
    }
    if (flags & 1) {
      if (s == end) break;
      out[o++] = *s++;
      continue;
    }
    if (end - s < 2) break;
    size_t ring_index = s[0] | ((s[1] & 0xF0u) << 4);
    size_t n = (s[1] & 0x0Fu) + lzss::kThreshold + 1;
    s += 2;
    if (n > destination_capacity - o) n = destination_capacity - o;
    CopyReferenceSlow(out, o, Distance(o, ring_index), n);
    o += n;
  }
  return o;
}
