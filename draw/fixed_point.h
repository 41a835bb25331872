// Signed 16.16 fixed-point numbers for scale factors. Products and quotients work on
// magnitudes in 64 bits and restore the sign, so rounding is always toward zero.
#pragma once

#include "efi/types.h"

typedef INT32 DUFixed;

constexpr DUFixed kDUFixedOne = 0x10000;

constexpr DUFixed DUFixedFromInt(INT32 value) { return DUFixed(UINT32(value) << 16); }
// Truncates toward zero.
constexpr INT32 DUFixedToInt(DUFixed value) { return value < 0 ? -INT32((-INT64(value)) >> 16) : value >> 16; }

constexpr UINT64 DUFixedMagnitude(INT64 value) { return value < 0 ? UINT64(-value) : UINT64(value); }
constexpr DUFixed DUFixedSigned(UINT64 magnitude, bool negative) {
  return negative ? DUFixed(-INT64(magnitude)) : DUFixed(INT64(magnitude));
}

// (a x b) >> 16.
constexpr DUFixed DUFixedMul(DUFixed a, DUFixed b) {
  return DUFixedSigned((DUFixedMagnitude(a) * DUFixedMagnitude(b)) >> 16, (a < 0) != (b < 0));
}
// (a << 16) / b; a zero divisor gives -1 as the raw value.
constexpr DUFixed DUFixedDiv(DUFixed a, DUFixed b) {
  return b == 0 ? DUFixed(-1) : DUFixedSigned((DUFixedMagnitude(a) << 16) / DUFixedMagnitude(b), (a < 0) != (b < 0));
}
constexpr DUFixed DUFixedMulInt(DUFixed a, INT32 n) { return DUFixedMul(a, DUFixedFromInt(n)); }
constexpr DUFixed DUFixedDivInt(DUFixed a, INT32 n) { return DUFixedDiv(a, DUFixedFromInt(n)); }
// a / b of two integers.
constexpr DUFixed DUFixedRatio(INT32 a, INT32 b) { return DUFixedDiv(DUFixedFromInt(a), DUFixedFromInt(b)); }
