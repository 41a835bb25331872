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

// Distances below 8 are copied in steps of the smallest multiple of the distance that is
// at least 8 bytes, once the first 8 bytes are in place.
constexpr uint8_t kPatternStep[8] = {0, 8, 8, 9, 8, 10, 12, 14};

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

struct Instruction {
  size_t literals;
  size_t match;
  size_t distance;
};

}  // namespace

size_t DecompressLzvn(void* destination, size_t destination_capacity, const void* source, size_t source_length) {
  if (destination_capacity < lzvn::kMinimumBuffer || source_length < lzvn::kMinimumBuffer) return 0;
  uint8_t* const out = static_cast<uint8_t*>(destination);
  const size_t capacity = destination_capacity;
  const uint8_t* s = static_cast<const uint8_t*>(source);
  const uint8_t* const end = s + source_length;
  size_t o = 0;
  size_t previous_distance = 0;
  for (;;) {
    if (s == end) return 0;
    const unsigned op = s[0];
    const size_t available = size_t(end - s);
    Instruction in;
    switch (kOps.kind[op]) {
      case Op::kSmallDistance:
        if (available < 2) return 0;
        in = {op >> 6, ((op >> 3) & 7) + 3, ((op & 7u) << 8) | s[1]};
        s += 2;
        break;
      case Op::kMediumDistance: {
        if (available < 3) return 0;
        unsigned w = LoadLe16(s + 1);
        in = {(op >> 3) & 3, (((op & 7) << 2) | (w & 3)) + 3, w >> 2};
        s += 3;
        break;
      }
      case Op::kLargeDistance:
        if (available < 3) return 0;
        in = {op >> 6, ((op >> 3) & 7) + 3, LoadLe16(s + 1)};
        s += 3;
        break;
      case Op::kPreviousDistance:
        in = {op >> 6, ((op >> 3) & 7) + 3, previous_distance};
        s += 1;
        break;
      case Op::kSmallMatch:
        in = {0, op & 0x0Fu, previous_distance};
        s += 1;
        break;
      case Op::kLargeMatch:
        if (available < 2) return 0;
        in = {0, s[1] + 16u, previous_distance};
        s += 2;
        break;
      case Op::kSmallLiteral:
        in = {op & 0x0Fu, 0, 0};
        s += 1;
        break;
      case Op::kLargeLiteral:
        if (available < 2) return 0;
        in = {s[1] + 16u, 0, 0};
        s += 2;
        break;
      case Op::kNop:
        s += 1;
        continue;
      case Op::kEndOfStream:
        return o;
      case Op::kUndefined:
      default:
        return 0;
    }
    if (in.literals != 0) {
      size_t source_left = size_t(end - s);
      size_t room = capacity - o;
      if (source_left < in.literals) return 0;
      if (room < in.literals) {
        CopyBytes(out + o, s, room);
        return capacity;
      }
      CopyLiterals(out + o, s, in.literals, source_left < room ? source_left : room);
      s += in.literals;
      o += in.literals;
    }
    if (in.match != 0) {
      if (in.distance == 0 || in.distance > o) return 0;
      previous_distance = in.distance;
      size_t room = capacity - o;
      if (room < in.match) {
        CopyBytes(out + o, out + o - in.distance, room);
        return capacity;
      }
      CopyMatch(out + o, in.distance, in.match, room);
      o += in.match;
    }
  }
}
