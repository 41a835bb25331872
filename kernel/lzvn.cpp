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
// their kind. The next opcode lies advance[op] bytes on (opcode, operands and literals); an
// advance of 0 sends the opcode to the careful path (large literals, end of stream,
// undefined). With w the two bytes after the opcode:
//   L = literals, M = match + (w & match_mask),
//   D = (distance_high << 8) | ((w >> distance_shift) & distance_mask), or the previous
//   distance when reuse is -1.
// Literal-only opcodes are matches of length 0 at the previous distance.
struct OpFields {
  uint16_t literals;
  uint16_t match;
  uint16_t match_mask;
  int16_t reuse;
  uint16_t distance_shift;
  uint16_t distance_high;
  uint16_t distance_mask;
  uint16_t unused = 0;
};
static_assert(sizeof(OpFields) == 16);

struct FastOp {
  uint8_t advance;
  OpFields fields;
};

constexpr FastOp FastOpOf(unsigned op) {
  const uint16_t l = uint16_t(op >> 6);
  const uint16_t m = uint16_t(((op >> 3) & 7) + 3);
  const uint16_t kNone = 0;
  switch (Classify(op)) {
    case Op::kSmallDistance:
      return {uint8_t(2 + l), {l, m, kNone, 0, 0, uint16_t(op & 7), 0xFF}};
    case Op::kMediumDistance: {
      const uint16_t medium_l = uint16_t((op >> 3) & 3);
      return {uint8_t(3 + medium_l), {medium_l, uint16_t(((op & 7) << 2) + 3), 3, 0, 2, 0, 0x3FFF}};
    }
    case Op::kLargeDistance:
      return {uint8_t(3 + l), {l, m, kNone, 0, 0, 0, 0xFFFF}};
    case Op::kPreviousDistance:
      return {uint8_t(1 + l), {l, m, kNone, -1, 0, 0, 0}};
    case Op::kSmallMatch:
      return {1, {0, uint16_t(op & 0x0F), kNone, -1, 0, 0, 0}};
    case Op::kLargeMatch:
      return {2, {0, 16, 0xFF, -1, 0, 0, 0}};
    case Op::kSmallLiteral:
      return {uint8_t(1 + (op & 0x0F)), {uint16_t(op & 0x0F), 0, kNone, -1, 0, 0, 0}};
    case Op::kNop:
      return {1, {0, 0, kNone, -1, 0, 0, 0}};
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

// Distances below 8 are copied in steps of the smallest multiple of the distance that is
// at least 8 bytes, once the first 8 bytes are in place.
constexpr uint8_t kPatternStep[8] = {0, 8, 8, 9, 8, 10, 12, 14};

inline void Copy8(uint8_t* to, const uint8_t* from) { __builtin_memcpy(to, from, 8); }

// The two ranges never overlap: copies from earlier output are at least this far back.
inline void Copy16(uint8_t* to, const uint8_t* from) { __builtin_memcpy(to, from, 16); }

inline void CopyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  for (size_t j = 0; j < n; ++j) to[j] = from[j];
}

// Copies n literal bytes; room is how far both buffers reach past to and from.
inline void CopyLiterals(uint8_t* to, const uint8_t* from, size_t n, size_t room) {
  if (n <= 8 && room >= 8) {
    Copy8(to, from);
  } else if (room >= n + 15) {
    for (size_t j = 0; j < n; j += 16) Copy16(to + j, from + j);
  } else {
    CopyBytes(to, from, n);
  }
}

// Copies an n-byte match from distance d back; room is the space left in the destination.
inline void CopyMatch(uint8_t* to, size_t d, size_t n, size_t room) {
  const uint8_t* from = to - d;
  if (room < n + 15) {
    CopyBytes(to, from, n);
  } else if (d >= 16) {
    for (size_t j = 0; j < n; j += 16) Copy16(to + j, from + j);
  } else if (d >= 8) {
    for (size_t j = 0; j < n; j += 8) Copy8(to + j, from + j);
  } else {
    CopyBytes(to, from, 8);
    size_t step = kPatternStep[d];
    for (size_t j = 8; j < n; j += 8) Copy8(to + j, to + j - step);
  }
}

// The fast path decodes an instruction without bounds checks while this much source and
// destination remain: an opcode with operands (3), a 16-byte literal copy, and a match of up
// to 34 bytes written as 48 behind at most 15 literals. Longer matches check for themselves.
constexpr size_t kFastSource = 32;
constexpr size_t kFastRoom = 64;
constexpr size_t kShortMatchMax = 34;

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
    size_t source_left = size_t(z.end - s);
    size_t room = z.capacity - z.o;
    if (source_left < l) return Step::kStop;
    if (room < l) {
      CopyBytes(z.out + z.o, s, room);
      *result = z.capacity;
      return Step::kStop;
    }
    CopyLiterals(z.out + z.o, s, l, source_left < room ? source_left : room);
    s += l;
    z.o += l;
  }
  z.s = s;
  if (m != 0) {
    if (d == 0 || d > z.o) return Step::kStop;
    z.previous_distance = d;
    size_t room = z.capacity - z.o;
    if (room < m) {
      CopyBytes(z.out + z.o, z.out + z.o - d, room);
      *result = z.capacity;
      return Step::kStop;
    }
    CopyMatch(z.out + z.o, d, m, room);
    z.o += m;
  }
  return Step::kContinue;
}

}  // namespace

size_t DecompressLzvn(void* destination, size_t destination_capacity, const void* source, size_t source_length) {
  if (destination_capacity < lzvn::kMinimumBuffer || source_length < lzvn::kMinimumBuffer) return 0;
  uint8_t* const out = static_cast<uint8_t*>(destination);
  const size_t capacity = destination_capacity;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  const uint8_t* const end = s + source_length;
  size_t o = 0;
  size_t previous = 0;
  for (;;) {
    if (size_t(end - s) >= kFastSource && capacity - o >= kFastRoom) {
      const unsigned op = s[0];
      const size_t advance = kFast.advance[op];
      if (advance != 0) {
        const OpFields& f = kFast.fields[op];
        const size_t w = LoadLe16(s + 1);
        const size_t l = f.literals;
        const size_t m = f.match + (w & f.match_mask);
        // A long match runs here only when the destination holds it with the copies' overrun.
        if (m <= kShortMatchMax || capacity - o >= l + m + 16) {
          const size_t fresh = (size_t(f.distance_high) << 8) | ((w >> f.distance_shift) & f.distance_mask);
          const size_t d = fresh ^ ((fresh ^ previous) & size_t(ptrdiff_t(f.reuse)));
          uint8_t* to = out + o;
          Copy16(to, s + advance - l);
          s += advance;
          o += l;
          to += l;
          if ((d - 1 >= o) & (m != 0)) return 0;  // distance 0, or before the output
          previous = d;
          const uint8_t* from = to - d;
          if (d >= 16) {
            Copy16(to, from);
            Copy16(to + 16, from + 16);
            for (size_t j = 32; j < m; j += 16) Copy16(to + j, from + j);
          } else {
            CopyMatch(to, d, m, capacity - o);
          }
          o += m;
          continue;
        }
      } else if (op == 0xE0) {  // large literal, when both buffers hold it with 16 bytes to spare
        const size_t l = s[1] + 16u;
        if (size_t(end - s) >= l + 2 + 16 && capacity - o >= l + 16) {
          for (size_t j = 0; j < l; j += 16) Copy16(out + o + j, s + 2 + j);
          s += 2 + l;
          o += l;
          continue;
        }
      }
    }
    // Near the end of either buffer, or an instruction the fast path does not take.
    Decoder z{out, capacity, s, end, o, previous};
    size_t result;
    if (CarefulStep(z, &result) == Step::kStop) return result;
    s = z.s, o = z.o, previous = z.previous_distance;
  }
}
