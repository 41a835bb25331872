#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kernel/lzss.h"
#include "tests/kernel/exact_decode.h"
#include "tests/kernel/sample_data.h"
#include "tools/lib/lzss_encode.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The ring-buffer decoder written out plainly, to hold the fast decoder against.
Bytes RingDecode(const Bytes& src, size_t capacity) {
  uint8_t ring[lzss::kRingSize] = {};
  for (size_t i = 0; i < lzss::kRingStart; ++i) ring[i] = ' ';
  size_t r = lzss::kRingStart;
  Bytes out;
  size_t s = 0;
  unsigned flags = 0;
  auto put = [&](uint8_t b) {
    out.push_back(b);
    ring[r] = b;
    r = (r + 1) & (lzss::kRingSize - 1);
  };
  while (out.size() < capacity) {
    flags >>= 1;
    if (!(flags & 0x100)) {
      if (s >= src.size()) break;
      flags = src[s++] | 0xFF00;
    }
    if (flags & 1) {
      if (s >= src.size()) break;
      put(src[s++]);
    } else {
      if (s + 2 > src.size()) break;
      size_t i = src[s] | ((src[s + 1] & 0xF0) << 4);
      size_t n = (src[s + 1] & 0x0F) + 3;
      s += 2;
      for (size_t k = 0; k < n && out.size() < capacity; ++k) put(ring[(i + k) & (lzss::kRingSize - 1)]);
    }
  }
  return out;
}

Bytes Decode(const Bytes& src, size_t capacity) { return DecodeExactly(DecompressLzss, src, capacity).output; }

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Lzss, HandAssembledStreams) {
  struct Case {
    const char* name;
    Bytes stream;
    size_t capacity;
    Bytes expected;
  };
  const Case cases[] = {
      {"literals over two flag bytes", {0xFF, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x03, 'I', 'J'}, 64,
       Str("ABCDEFGHIJ")},
      {"reference into the initial spaces", {0x00, 0x00, 0x02}, 64, Str("     ")},
      {"never-written ring positions read as zeros", {0x00, 0xEE, 0xF0}, 64, Bytes(3, 0)},
      {"overlapping reference repeats the last byte", {0x01, 'a', 0xEE, 0xFF}, 64, Bytes(19, 'a')},
      {"output stops at the capacity", {0x01, 'a', 0xEE, 0xFF}, 5, Bytes(5, 'a')},
      {"half a reference is dropped", {0x01, 'a', 0xEE}, 64, Str("a")},
      {"a literal bit with no byte left ends the data", {0xFF, 'x'}, 64, Str("x")},
      {"empty source", {}, 64, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.stream, c.capacity), c.expected) << c.name;
  }
}

TEST(Lzss, ReferenceExactly4096BytesBack) {
  // 4096 literal bytes, then a reference to the ring slot about to be written.
  Bytes stream;
  for (size_t i = 0; i < 4096; ++i) {
    if (i % 8 == 0) stream.push_back(0xFF);
    stream.push_back(uint8_t(i * 7 + 1));
  }
  size_t slot = (lzss::kRingStart + 4096) & 4095;
  stream.insert(stream.end(), {0x00, uint8_t(slot), uint8_t(((slot >> 4) & 0xF0) | 2)});
  Bytes out = Decode(stream, 8192);
  ASSERT_EQ(out.size(), 4096u + 5);
  EXPECT_EQ(Bytes(out.begin() + 4096, out.end()), Bytes(out.begin(), out.begin() + 5));
}

// Random streams hit every path: early references into the starting ring, every distance,
// the unchecked group decoder and the tail, and every capacity cut.
TEST(Lzss, AgreesWithThePlainRingDecoderOnRandomStreams) {
  std::mt19937 rng(17);
  for (int round = 0; round < 300; ++round) {
    Bytes stream = SampleRandom(rng() % 3000, rng());
    // Bias some flag bytes toward references or literals.
    for (size_t i = 0; i < stream.size(); i += 17) stream[i] &= uint8_t(rng());
    size_t capacity = rng() % 2 ? rng() % 20000 : rng() % 100;
    ASSERT_EQ(Decode(stream, capacity), RingDecode(stream, capacity)) << "round " << round;
  }
}

TEST(Lzss, EncoderRoundTrips) {
  for (const SampleInput& input : SampleInputs()) {
    Bytes packed = LzssEncode(input.bytes.data(), input.bytes.size());
    EXPECT_EQ(Decode(packed, input.bytes.size()), input.bytes) << input.name;
    EXPECT_EQ(RingDecode(packed, input.bytes.size() + 100), input.bytes) << input.name;
    if (input.bytes.size() > 1000) {
      EXPECT_LE(packed.size(), input.bytes.size() * 9 / 8 + 1) << input.name;
    }
  }
}

}  // namespace
