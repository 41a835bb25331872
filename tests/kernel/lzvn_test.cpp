#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kernel/lzvn.h"
#include "tests/kernel/exact_decode.h"
#include "tests/kernel/sample_data.h"
#include "tools/lib/lzvn_encode.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes v;
  for (const Bytes& p : parts) v.insert(v.end(), p.begin(), p.end());
  return v;
}
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Repeat(const std::string& s, size_t times) {
  std::string r;
  for (size_t i = 0; i < times; ++i) r += s;
  return Str(r);
}
const Bytes kEos = {0x06, 0, 0, 0, 0, 0, 0, 0};

// 271 literal bytes 0, 1, 2, ... (one large-literal opcode).
Bytes Ramp271() {
  Bytes v = {0xE0, 0xFF};
  for (int i = 0; i < 271; ++i) v.push_back(uint8_t(i));
  return v;
}

DecodeResult Decode(const Bytes& src, size_t capacity) { return DecodeExactly(DecompressLzvn, src, capacity); }

struct Case {
  const char* name;
  Bytes stream;
  Bytes expected;
  size_t capacity = 4096;
};

TEST(Lzvn, EveryInstructionKind) {
  Bytes ramp_out(271);
  for (int i = 0; i < 271; ++i) ramp_out[i] = uint8_t(i);
  const Case cases[] = {
      {"small literal", Cat({{0xE3, 'A', 'B', 'C'}, kEos}), Str("ABC")},
      {"large literal", Cat({{0xE0, 0x01}, Repeat("x", 17), kEos}), Repeat("x", 17)},
      {"small distance", Cat({{0x48, 0x01, 'a'}, kEos}), Repeat("a", 5)},
      {"small distance with high bits", Cat({Ramp271(), {0x01, 0x01}, kEos}), Cat({ramp_out, {14, 15, 16}})},
      {"small distance, three literals, match 4", Cat({{0xE1, 'a', 0xC8, 0x04, 'b', 'c', 'd'}, kEos}),
       Str("abcdabcd")},
      {"medium distance", Cat({{0xE4, 'a', 'b', 'c', 'd', 0xAC, 0x11, 0x00, 'e'}, kEos}),
       Cat({Str("abcde"), Repeat("bcde", 5)})},
      {"large distance", Cat({{0xE1, 'a', 0x07, 0x01, 0x00}, kEos}), Repeat("a", 4)},
      {"large distance beyond 255", Cat({Ramp271(), {0x0F, 0x0F, 0x01}, kEos}), Cat({ramp_out, {0, 1, 2, 3}})},
      {"previous distance", Cat({{0xE1, 'a', 0x07, 0x01, 0x00, 0x46, 'b'}, kEos}), Str("aaaabbbb")},
      {"small match", Cat({{0xE1, 'a', 0x07, 0x01, 0x00, 0xF2}, kEos}), Repeat("a", 6)},
      {"large match", Cat({{0xE1, 'a', 0x07, 0x01, 0x00, 0xF0, 0x04}, kEos}), Repeat("a", 24)},
      {"no-ops", Cat({{0xE1, 'a', 0x0E, 0x16, 0xE1, 'b'}, kEos}), Str("ab")},
      {"end mark without padding", {0xE1, 'a', 0x06, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}, Str("a")},
      {"empty stream", kEos, {}},
      {"long match with period 3", Cat({{0xE3, 'x', 'y', 'z', 0x3F, 0x03, 0x00, 0xF0, 0x00}, kEos}),
       Str("xyzxyzxyzxyzxyzxyzxyzxyzxyzxy")},
  };
  for (const Case& c : cases) {
    DecodeResult r = Decode(c.stream, c.capacity);
    EXPECT_EQ(r.returned, c.expected.size()) << c.name;
    EXPECT_EQ(r.output, c.expected) << c.name;
  }
}

TEST(Lzvn, EveryErrorReturnsZero) {
  const Case cases[] = {
      {"small match before any distance", Cat({{0xE1, 'a', 0xF5}, kEos}), {}},
      {"large match before any distance", Cat({{0xE1, 'a', 0xF0, 0x00}, kEos}), {}},
      {"previous distance before any distance", Cat({{0x46, 'a'}, kEos}), {}},
      {"distance zero", Cat({{0x48, 0x00, 'a', 'b'}, kEos}), {}},
      {"distance reaching before the output", Cat({{0xE1, 'a', 0x07, 0x02, 0x00}, kEos}), {}},
      {"medium distance reaching before the output", Cat({{0xE1, 'a', 0xA0, 0x08, 0x00}, kEos}), {}},
      {"literals past the source end", Cat({{0xE0, 0xFF}, Repeat("x", 10)}), {}},
      {"operand past the source end", {0xE6, 1, 2, 3, 4, 5, 6, 0x07}, {}},
      {"medium operand past the source end", {0xE5, 1, 2, 3, 4, 5, 0xA0, 0x10}, {}},
      {"source ends without the end mark", {0xE7, 1, 2, 3, 4, 5, 6, 7}, {}},
      {"source shorter than 8 bytes", {0xE1, 'a', 0x06, 0, 0, 0, 0}, {}},
      {"destination shorter than 8 bytes", Cat({{0xE1, 'a'}, kEos}), {}, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.stream, c.capacity).returned, 0u) << c.name;
  }
  std::vector<uint8_t> undefined = {0x1E, 0x26, 0x2E, 0x36, 0x3E};
  for (int op = 0x70; op <= 0x7F; ++op) undefined.push_back(uint8_t(op));
  for (int op = 0xD0; op <= 0xDF; ++op) undefined.push_back(uint8_t(op));
  for (uint8_t op : undefined) {
    Bytes stream = Cat({{0xE1, 'a', op, 0x01, 0x00, 0x00}, kEos});
    EXPECT_EQ(Decode(stream, 64).returned, 0u) << "opcode " << int(op);
  }
}

TEST(Lzvn, FullDestinationReturnsTheCapacity) {
  const Case cases[] = {
      {"during literals", Cat({{0xE9}, Str("123456789"), kEos}), Str("12345678"), 8},
      {"during a match", Cat({{0xE1, 'a', 0x07, 0x01, 0x00, 0xF0, 0x10}, kEos}), Repeat("a", 10), 10},
      {"exactly at the end of a match", Cat({{0xE1, 'a', 0x07, 0x01, 0x00, 0xF0, 0x10}, kEos}), Repeat("a", 36), 36},
      {"long pattern match", Cat({{0xE2, 'a', 'b', 0x3F, 0x02, 0x00}, kEos}), Repeat("ab", 5), 10},
  };
  for (const Case& c : cases) {
    DecodeResult r = Decode(c.stream, c.capacity);
    EXPECT_EQ(r.returned, c.capacity) << c.name;
    EXPECT_EQ(r.output, c.expected) << c.name;
  }
}

TEST(Lzvn, EncoderRoundTrips) {
  for (const SampleInput& input : SampleInputs()) {
    Bytes packed = LzvnEncode(input.bytes.data(), input.bytes.size());
    ASSERT_GE(packed.size(), lzvn::kEndOfStreamSize) << input.name;
    EXPECT_EQ(Bytes(packed.end() - 8, packed.end()), kEos) << input.name;
    size_t capacity = std::max<size_t>(input.bytes.size(), 8);
    DecodeResult exact = Decode(packed, capacity);
    EXPECT_EQ(exact.returned, input.bytes.size()) << input.name;
    EXPECT_EQ(exact.output, input.bytes) << input.name;
    if (input.bytes.size() > 8) {
      // One byte short: the decoder fills the buffer and reports it full.
      DecodeResult cut = Decode(packed, input.bytes.size() - 1);
      EXPECT_EQ(cut.returned, input.bytes.size() - 1) << input.name;
      EXPECT_TRUE(std::equal(cut.output.begin(), cut.output.end(), input.bytes.begin())) << input.name;
    }
    if (input.bytes.size() > 1000) {
      EXPECT_LE(packed.size(), input.bytes.size() + input.bytes.size() / 128 + 16) << input.name;
    }
  }
}

// Instructions in a well-formed stream, walked by opcode lengths alone.
size_t CountInstructions(const Bytes& stream) {
  size_t count = 0;
  for (size_t i = 0; i < stream.size() && stream[i] != lzvn::kEndOfStream; ++count) {
    const unsigned op = stream[i];
    if (op == 0xE0) {
      i += 2 + stream[i + 1] + 16;
    } else if ((op & 0xF0) == 0xE0) {
      i += 1 + (op & 0x0F);
    } else if (op == 0xF0) {
      i += 2;
    } else if ((op & 0xF0) == 0xF0 || op == 0x0E || op == 0x16) {
      i += 1;
    } else if (op >= 0xA0 && op <= 0xBF) {
      i += 3 + ((op >> 3) & 3);
    } else {
      i += (op & 7) == 7 ? 3 + (op >> 6) : (op & 7) == 6 ? 1 + (op >> 6) : 2 + (op >> 6);
    }
  }
  return count;
}

// The parse weighs instructions against bytes: pricing them makes a stream of fewer
// instructions; pricing bytes alone makes the smaller stream.
TEST(Lzvn, EncoderTradesBytesForFewerInstructions) {
  std::vector<SampleInput> inputs = {{"words", SampleWords(300000)}};
  Bytes code = SampleMachineCode(512 << 10);
  if (!code.empty()) inputs.push_back({"machine code", code});
  for (const SampleInput& input : inputs) {
    LzvnEncodeOptions bytes_only;
    bytes_only.instruction_cost = 0;
    const Bytes small = LzvnEncode(input.bytes.data(), input.bytes.size(), bytes_only);
    const Bytes quick = LzvnEncode(input.bytes.data(), input.bytes.size());
    EXPECT_LE(small.size(), quick.size()) << input.name;
    EXPECT_LT(CountInstructions(quick), CountInstructions(small)) << input.name;
  }
}

// Data that drives the unchecked loop through every copy shape: short periods (distances 1
// to 40, below and above the 8-byte steps) repeated far past 32 bytes, literal runs of up to
// 271 bytes and beyond, and far matches; each input is long enough that most of it decodes
// away from both buffer ends.
std::vector<Bytes> CopyShapeInputs() {
  std::vector<Bytes> inputs;
  std::mt19937 rng(21);
  auto random_bytes = [&](size_t n) {
    Bytes v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
  };
  Bytes periods;
  for (size_t period = 1; period <= 40; ++period) {
    Bytes unit = random_bytes(period);
    for (size_t i = 0; i < 300 + period * 7; ++i) periods.push_back(unit[i % period]);
    Bytes gap = random_bytes(1 + rng() % 20);
    periods.insert(periods.end(), gap.begin(), gap.end());
  }
  inputs.push_back(periods);
  Bytes runs;
  for (size_t run : {16, 17, 31, 32, 33, 100, 271, 272, 600}) {
    Bytes literals = random_bytes(run);
    runs.insert(runs.end(), literals.begin(), literals.end());
    runs.insert(runs.end(), periods.begin() + run, periods.begin() + run + 50);  // a far match
  }
  inputs.push_back(runs);
  return inputs;
}

TEST(Lzvn, EveryCopyShapeRoundTripsWholeAndCut) {
  for (const Bytes& input : CopyShapeInputs()) {
    Bytes packed = LzvnEncode(input.data(), input.size());
    DecodeResult whole = Decode(packed, input.size());
    EXPECT_EQ(whole.returned, input.size());
    EXPECT_EQ(whole.output, input);
    for (size_t cut : {input.size() - 1, input.size() - 200, input.size() / 2 + 3}) {
      DecodeResult part = Decode(packed, cut);
      EXPECT_EQ(part.returned, cut);
      EXPECT_TRUE(std::equal(part.output.begin(), part.output.end(), input.begin())) << "cut " << cut;
    }
  }
}

struct Stretches {
  const uint8_t* start = nullptr;
  size_t covered = 0;
  bool in_order = true;
  size_t count = 0;
  static void Take(void* context, const uint8_t* data, size_t n) {
    auto* s = static_cast<Stretches*>(context);
    s->in_order = s->in_order && data == s->start + s->covered && n > 0;
    s->covered += n;
    ++s->count;
  }
};

// The stretches follow each other without gaps and end exactly where the output does, also
// when the destination fills first.
TEST(Lzvn, StreamingHandsOnEveryProducedByteOnce) {
  Bytes input;
  for (const Bytes& shape : CopyShapeInputs()) input.insert(input.end(), shape.begin(), shape.end());
  while (input.size() < 5 * lzvn::kStretch) input.insert(input.end(), input.begin(), input.begin() + input.size() / 3);
  Bytes packed = LzvnEncode(input.data(), input.size());
  for (size_t capacity : {input.size(), input.size() - 1000, size_t(lzvn::kStretch) + 5}) {
    Bytes out(capacity);
    Stretches stretches;
    stretches.start = out.data();
    size_t n = DecompressLzvnStreaming(out.data(), capacity, packed.data(), packed.size(), Stretches::Take,
                                       &stretches);
    EXPECT_EQ(n, capacity);
    EXPECT_TRUE(stretches.in_order);
    EXPECT_EQ(stretches.covered, n);
    EXPECT_GE(stretches.count, capacity / lzvn::kStretch);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), input.begin()));
  }
  Bytes corrupt = packed;
  corrupt[corrupt.size() / 2] = 0x7A;  // an undefined opcode, or a changed operand: still inside the buffers
  Bytes out(input.size());
  size_t n = DecompressLzvnStreaming(out.data(), out.size(), corrupt.data(), corrupt.size(),
                                     [](void*, const uint8_t*, size_t) {}, nullptr);
  EXPECT_LE(n, input.size());
}

}  // namespace
