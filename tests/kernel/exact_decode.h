// Decoding for the codec tests with both buffers exactly as large as stated, so that any
// stray write past the output or read past the input is caught.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct DecodeResult {
  size_t returned;              // what the decoder returned
  std::vector<uint8_t> output;  // the bytes it produced (at most the capacity)
};

using CodecDecoder = size_t (*)(void* destination, size_t destination_capacity, const void* source,
                                size_t source_length);

inline DecodeResult DecodeExactly(CodecDecoder decode, const std::vector<uint8_t>& src, size_t capacity) {
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
  std::unique_ptr<uint8_t[]> in(new uint8_t[src.size() ? src.size() : 1]);
  std::copy(src.begin(), src.end(), in.get());
  size_t n = decode(out.get(), capacity, in.get(), src.size());
  EXPECT_LE(n, capacity);
  return {n, std::vector<uint8_t>(out.get(), out.get() + std::min(n, capacity))};
}
