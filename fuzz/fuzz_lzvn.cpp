// DecompressLzvn on arbitrary streams. The first two input bytes choose the destination size
// (little-endian); the destination is a heap block of exactly that size, so any write past it
// or read past the stream is caught. The result must also match a plain byte-at-a-time
// decoder written straight from the format notes, and the streaming decoder must hand on
// exactly the bytes it returns.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "kernel/lzvn.h"

namespace {

// One instruction at a time, every field checked before use; the unoptimised reading of the
// stream that the fast decoder must agree with.
size_t PlainDecode(uint8_t* out, size_t capacity, const uint8_t* s, size_t length) {
  if (capacity < lzvn::kMinimumBuffer || length < lzvn::kMinimumBuffer) return 0;
  size_t i = 0, o = 0, previous = 0;
  for (;;) {
    if (i >= length) return 0;
    const unsigned op = s[i];
    size_t l = 0, m = 0, d = previous, operands = 1;
    const bool undefined = (op < 0x40 && (op & 7) == 6 && op != 0x06 && op != 0x0E && op != 0x16) ||
                           (op & 0xF0) == 0x70 || (op & 0xF0) == 0xD0;
    if (undefined) return 0;
    if (op == 0x06) return o;
    if (op == 0x0E || op == 0x16) {
      operands = 1;
    } else if (op >= 0xA0 && op <= 0xBF) {
      if (length - i < 3) return 0;
      const size_t w = s[i + 1] | (s[i + 2] << 8);
      l = (op >> 3) & 3, m = (((op & 7) << 2) | (w & 3)) + 3, d = w >> 2, operands = 3;
    } else if (op == 0xE0) {
      if (length - i < 2) return 0;
      l = s[i + 1] + 16u, operands = 2;
    } else if (op >= 0xE1 && op <= 0xEF) {
      l = op & 0x0F;
    } else if (op == 0xF0) {
      if (length - i < 2) return 0;
      m = s[i + 1] + 16u, operands = 2;
    } else if (op >= 0xF1) {
      m = op & 0x0F;
    } else if ((op & 7) == 7) {
      if (length - i < 3) return 0;
      l = op >> 6, m = ((op >> 3) & 7) + 3, d = s[i + 1] | (s[i + 2] << 8), operands = 3;
    } else if ((op & 7) == 6) {
      l = op >> 6, m = ((op >> 3) & 7) + 3;
    } else {
      if (length - i < 2) return 0;
      l = op >> 6, m = ((op >> 3) & 7) + 3, d = ((op & 7u) << 8) | s[i + 1], operands = 2;
    }
    i += operands;
    if (length - i < l) return 0;  // literals cut short, even where the destination fills first
    for (size_t j = 0; j < l; ++j) {
      if (o == capacity) return capacity;
      out[o++] = s[i++];
    }
    if (m == 0) continue;
    if (d == 0 || d > o) return 0;
    previous = d;
    for (size_t j = 0; j < m; ++j) {
      if (o == capacity) return capacity;
      out[o] = out[o - d];
      ++o;
    }
  }
}

struct Stretches {
  const uint8_t* start;
  size_t covered = 0;
  static void Take(void* context, const uint8_t* data, size_t n) {
    auto* s = static_cast<Stretches*>(context);
    if (data != s->start + s->covered || n == 0) std::abort();
    s->covered += n;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::DecompressIntoExactBuffer(DecompressLzvn, data, size);
  if (size < 2) return 0;
  const size_t capacity = data[0] | (data[1] << 8);
  const uint8_t* stream = data + 2;
  const size_t length = size - 2;
  std::vector<uint8_t> fast(capacity ? capacity : 1), plain(capacity ? capacity : 1), streamed(capacity ? capacity : 1);
  const size_t n = DecompressLzvn(fast.data(), capacity, stream, length);
  const size_t expected = PlainDecode(plain.data(), capacity, stream, length);
  if (n != expected) std::abort();
  if (n != 0 && std::memcmp(fast.data(), plain.data(), n) != 0) std::abort();
  Stretches stretches{streamed.data()};
  const size_t streamed_n =
      DecompressLzvnStreaming(streamed.data(), capacity, stream, length, Stretches::Take, &stretches);
  if (streamed_n != n) std::abort();
  if (n != 0 && (stretches.covered != n || std::memcmp(streamed.data(), plain.data(), n) != 0)) std::abort();
  return 0;
}
