#include "kernel/lzvn.h"

#include "lib/mem.h"

namespace {

enum class Op : uint8_t {
  kSmallDistance,   // LLMMMDDD + 1 byte
  kMediumDistance,  // 101LLMMM + u16
  kLargeDistance,   // LLMMM111 + u16
  kPreviousDistance,  // LLMMM110
  kSmallMatch,      // 1111MMMM
  kLargeMatch,      // 0xF0 + 1 byte
  kSmallLiteral,    // 1110LLLL
  kLargeLiteral,    // 0xE0 + 1 byte
  kNop,
  kEndOfStream,
  kUndefined,
};

constexpr Op Classify(unsigned op) {
  if (op == lzvn::kEndOfStream) return Op::kEndOfStream;
  if (op == 0x0E || op == 0x16) return Op::kNop;
  if (op < 0x40 && (op & 7) == 6) return Op::kUndefined;  // 0x1E..0x3E
  if ((op & 0xF0) == 0x70 || (op & 0xF0) == 0xD0) return Op::kUndefined;
  if (op >= 0xA0 && op <= 0xBF) return Op::kMediumDistance;
  if (op == 0xE0) return Op::kLargeLiteral;
  if ((op & 0xF0) == 0xE0) return Op::kSmallLiteral;
  if (op == 0xF0) return Op::kLargeMatch;
  if ((op & 0xF0) == 0xF0) return Op::kSmallMatch;
  if ((op & 7) == 7) return Op::kLargeDistance;
  if ((op & 7) == 6) return Op::kPreviousDistance;
  return Op::kSmallDistance;
}

struct OpTable {
  Op kind[256];
  constexpr OpTable() : kind() {
    for (unsigned op = 0; op < 256; ++op) kind[op] = Classify(op);
  }
};
constexpr OpTable kOps;

// The same opcodes as tables, so that the common instructions decode without a branch on
// their kind (the kinds follow each other too irregularly for branch prediction: a handler
// per kind and literal count, each with its own indirect jump to the next, decoded machine
// code 1.5 times slower than these tables). The next opcode lies advance[op] bytes on (opcode,
// operands and literals); an advance of 0 sends the opcode to the careful path (large
// literals, end of stream, undefined). With w the two bytes after the opcode:
//   L = literals, starting operands bytes after the opcode; M = match + (w & match_mask);
//   D = (((w * distance_scale) >> 8) & distance_mask) | distance_high, or the previous
//   distance when reuse is all ones (the fresh part is then 0). The multiplication stands
//   in for a variable shift: 256 keeps w, 64 drops the medium opcode's two match bits.
// Literal-only opcodes are matches of length 0 at the previous distance.
struct OpFields {
  uint8_t literals;
  uint8_t match;
  uint8_t match_mask;
  uint8_t operands;
  uint16_t distance_scale;
  uint16_t distance_mask;
  uint32_t distance_high;
  uint32_t reuse;
};
static_assert(sizeof(OpFields) == 16);

struct FastOp {
  uint8_t advance;
  OpFields fields;
};

constexpr FastOp FastOpOf(unsigned op) {
  const uint8_t l = uint8_t(op >> 6);
  const uint8_t m = uint8_t(((op >> 3) & 7) + 3);
  const uint32_t kReuse = ~uint32_t(0);
  switch (Classify(op)) {
    case Op::kSmallDistance:
      return {uint8_t(2 + l), {l, m, 0, 2, 256, 0xFF, uint32_t((op & 7) << 8), 0}};
    case Op::kMediumDistance: {
      const uint8_t medium_l = uint8_t((op >> 3) & 3);
      return {uint8_t(3 + medium_l), {medium_l, uint8_t(((op & 7) << 2) + 3), 3, 3, 64, 0x3FFF, 0, 0}};
    }
    case Op::kLargeDistance:
      return {uint8_t(3 + l), {l, m, 0, 3, 256, 0xFFFF, 0, 0}};
    case Op::kPreviousDistance:
      return {uint8_t(1 + l), {l, m, 0, 1, 0, 0, 0, kReuse}};
    case Op::kSmallMatch:
      return {1, {0, uint8_t(op & 0x0F), 0, 1, 0, 0, 0, kReuse}};
    case Op::kLargeMatch:
      return {2, {0, 16, 0xFF, 2, 0, 0, 0, kReuse}};
    case Op::kSmallLiteral:
      return {uint8_t(1 + (op & 0x0F)), {uint8_t(op & 0x0F), 0, 0, 1, 0, 0, 0, kReuse}};
    case Op::kNop:
      return {1, {0, 0, 0, 1, 0, 0, 0, kReuse}};
    default:
      return {0, {}};
  }
}

struct FastTables {
  uint8_t advance[256];
  OpFields fields[256];
  constexpr FastTables() : advance(), fields() {
    for (unsigned i = 0; i < 256; ++i) {
      advance[i] = FastOpOf(i).advance;
      fields[i] = FastOpOf(i).fields;
    }
  }
};
alignas(64) constexpr FastTables kFast;

inline void Copy8(uint8_t* to, const uint8_t* from) { __builtin_memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { __builtin_memcpy(to, from, 16); }

inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  for (size_t j = 0; j < n; ++j) to[j] = from[j];
}

// Distances below 8 are copied in steps of the smallest multiple of the distance that is
// at least 8 bytes, once the first 8 bytes are in place.
constexpr uint8_t kPatternStep[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// An n-byte match from d (1 to 7) back; writes up to 8 bytes past the end (at least 8).
__attribute__((noinline)) void CopyNearMatch(uint8_t* to, size_t d, size_t n) {
  const uint8_t* from = to - d;
  CopyBytes(to, from, 8);
  const size_t step = kPatternStep[d];
  for (size_t j = 8; j < n; j += 8) Copy8(to + j, to + j - step);
}

// Long literal runs and long matches (up to 271 bytes) are copied as 272 bytes whatever
// their length.
constexpr size_t kLongestRun = 272;

// The fast loop runs while this much source and destination remain: the longest instruction
// it takes reads 2 + 272 literal bytes, or writes 3 literals and a match copied as 272 bytes
// (and 16 literal bytes at most in front of it).
constexpr size_t kFastSource = 320;
constexpr size_t kFastRoom = 320;
static_assert(kFastSource >= 2 + kLongestRun && kFastRoom >= 3 + kLongestRun && kFastRoom >= 16);

struct Decoder {
  uint8_t* out;
  size_t capacity;
  const uint8_t* s;
  const uint8_t* end;
  size_t o = 0;
  size_t previous_distance = 0;
};

enum class Step { kContinue, kStop };

// One instruction with every bound checked. Sets *result and returns kStop when decoding ends.
__attribute__((noinline)) Step CarefulStep(Decoder& z, size_t* result) {
  *result = 0;
  if (z.s == z.end) return Step::kStop;
  const uint8_t* s = z.s;
  const unsigned op = s[0];
  const size_t available = size_t(z.end - s);
  size_t l = 0, m = 0, d = 0, oplen = 1;
  switch (kOps.kind[op]) {
    case Op::kSmallDistance:
      if (available < 2) return Step::kStop;
      l = op >> 6, m = ((op >> 3) & 7) + 3, d = ((op & 7u) << 8) | s[1], oplen = 2;
      break;
    case Op::kMediumDistance: {
      if (available < 3) return Step::kStop;
      unsigned w = LoadLe16(s + 1);
      l = (op >> 3) & 3, m = (((op & 7) << 2) | (w & 3)) + 3, d = w >> 2, oplen = 3;
      break;
    }
    case Op::kLargeDistance:
      if (available < 3) return Step::kStop;
      l = op >> 6, m = ((op >> 3) & 7) + 3, d = LoadLe16(s + 1), oplen = 3;
      break;
    case Op::kPreviousDistance:
      l = op >> 6, m = ((op >> 3) & 7) + 3, d = z.previous_distance;
      break;
    case Op::kSmallMatch:
      m = op & 0x0Fu, d = z.previous_distance;
      break;
    case Op::kLargeMatch:
      if (available < 2) return Step::kStop;
      m = s[1] + 16u, d = z.previous_distance, oplen = 2;
      break;
    case Op::kSmallLiteral:
      l = op & 0x0Fu;
      break;
    case Op::kLargeLiteral:
      if (available < 2) return Step::kStop;
      l = s[1] + 16u, oplen = 2;
      break;
    case Op::kNop:
      break;
    case Op::kEndOfStream:
      *result = z.o;
      return Step::kStop;
    case Op::kUndefined:
    default:
      return Step::kStop;
  }
  s += oplen;
  if (l != 0) {
    if (size_t(z.end - s) < l) return Step::kStop;
    size_t room = z.capacity - z.o;
    if (room < l) {
      CopyBytes(z.out + z.o, s, room);
      *result = z.capacity;
      return Step::kStop;
    }
    CopyBytes(z.out + z.o, s, l);
    s += l;
    z.o += l;
  }
  z.s = s;
  if (m != 0) {
    if (d == 0 || d > z.o) return Step::kStop;
    z.previous_distance = d;
    size_t room = z.capacity - z.o;
    size_t n = room < m ? room : m;
    CopyBytes(z.out + z.o, z.out + z.o - d, n);  // forward, byte by byte: repeats short periods
    z.o += n;
    if (room < m) {
      *result = z.capacity;
      return Step::kStop;
    }
  }
  return Step::kContinue;
}

// Decodes the stream; when streaming, hands sink each stretch of finished output in order,
// about every stride bytes (wild copies only ever write past o, so everything before it is
// final). Two instances, so that plain decoding carries nothing of the streaming.
template <bool kStreaming>
size_t Decode(void* destination, size_t destination_capacity, const void* source, size_t source_length,
              LzvnSink sink, void* context, size_t stride) {
  if (destination_capacity < lzvn::kMinimumBuffer || source_length < lzvn::kMinimumBuffer) return 0;
  uint8_t* const out = static_cast<uint8_t*>(destination);
  const size_t capacity = destination_capacity;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  const uint8_t* const end = s + source_length;
  const uint8_t* const fast_end = source_length > kFastSource ? end - kFastSource : s;
  const size_t fast_capacity = capacity > kFastRoom ? capacity - kFastRoom : 0;
  size_t o = 0;
  size_t previous = 0;
  size_t reported = 0;
  for (;;) {
    if (kStreaming && o - reported >= stride) {
      sink(context, out + reported, o - reported);
      reported = o;
    }
    // The fast loop also stops at the next stretch for the sink.
    size_t limit = fast_capacity;
    if (kStreaming && reported + stride < limit) limit = reported + stride;
    // Until the first distance, and near the end of either buffer, every step is checked.
    // Past the first distance every instruction has a distance to check, its own or the
    // previous one, and the previous one is known to be good.
    if (previous != 0 && o < limit) {
      while (s < fast_end && o < limit) {
        const unsigned op = s[0];
        const size_t advance = kFast.advance[op];
        if (__builtin_expect(advance == 0, 0)) {
          if (op != 0xE0) break;  // end of stream or undefined: the careful path decides
          // Always the longest run: a loop as long as the run would mispredict its exit.
          const size_t l = s[1] + 16u;
#pragma GCC unroll 17
          for (size_t j = 0; j < kLongestRun; j += 16) Copy16(out + o + j, s + 2 + j);
          s += 2 + l;
          o += l;
          continue;
        }
        const OpFields& f = kFast.fields[op];
        const size_t w = LoadLe16(s + 1);
        Copy16(out + o, s + f.operands);  // up to 15 literals
        s += advance;
        o += f.literals;
        const size_t m = f.match + (w & f.match_mask);
        const size_t fresh = (((w * f.distance_scale) >> 8) & f.distance_mask) | f.distance_high;
        const size_t d = fresh | (previous & f.reuse);
        if (__builtin_expect(d - 1 >= o, 0)) return 0;  // distance 0, or before the output
        previous = d;
        uint8_t* to = out + o;
        o += m;
        if (__builtin_expect(d >= 8, 1)) {
          // 8-byte steps: a load of 8 bytes usually lies inside one earlier store, so recent
          // output is forwarded from the store buffer instead of waiting for it to drain.
          const uint8_t* from = to - d;
          Copy8(to, from);
          Copy8(to + 8, from + 8);
          Copy8(to + 16, from + 16);
          Copy8(to + 24, from + 24);
          if (__builtin_expect(m > 32, 0)) {
            // Up to the longest match for the same reason as long literal runs.
#pragma GCC unroll 30
            for (size_t j = 32; j < kLongestRun; j += 8) Copy8(to + j, from + j);
          }
        } else {
          CopyNearMatch(to, d, m);
        }
      }
      if (kStreaming && o >= limit && s < fast_end && o < fast_capacity) continue;  // a stretch is done
    }
    Decoder z{out, capacity, s, end, o, previous};
    size_t result;
    if (CarefulStep(z, &result) == Step::kStop) {
      if (kStreaming && result > reported) sink(context, out + reported, result - reported);
      return result;
    }
    s = z.s, o = z.o, previous = z.previous_distance;
  }
}

}  // namespace

size_t DecompressLzvn(void* destination, size_t destination_capacity, const void* source, size_t source_length) {
  return Decode<false>(destination, destination_capacity, source, source_length, nullptr, nullptr, 0);
}

size_t DecompressLzvnStreaming(void* destination, size_t destination_capacity, const void* source,
                               size_t source_length, LzvnSink sink, void* context) {
  return Decode<true>(destination, destination_capacity, source, source_length, sink, context, lzvn::kStretch);
}
