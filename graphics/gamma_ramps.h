// The per-display gamma correction the operating system leaves in "boot-gamma", expanded
// into three 1024-entry ramps. Pure: no firmware calls.
//
// Record (little-endian): u32 manufacturer (EDID bytes 8-9 read big-endian), u32 product
// (EDID bytes 10-11), u32 serial (EDID bytes 12-15; 0 matches any unit), u16 total length,
// six bytes not read, then the red, green and blue tables, each a u16 count n and n pairs of
// u16 (input on 0..65535, output). The total length must be 20 + 3 x 2 + 4 x (n_red + n_green
// + n_blue) and lie inside the variable.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

constexpr UINT32 kGammaRampEntries = 1024;
constexpr UINTN kBootGammaHeaderSize = 20;

struct GammaRamps {
  UINT16 red[kGammaRampEntries];
  UINT16 green[kGammaRampEntries];
  UINT16 blue[kGammaRampEntries];
};

struct DisplayIdentity {
  UINT32 manufacturer;
  UINT32 product;
  UINT32 serial;
};

// The identity in an EDID block (at least 16 bytes); false when it is shorter.
bool DisplayIdentityFromEdid(ByteSpan edid, DisplayIdentity* identity);

// Entry i = 64 x i in every ramp.
void LinearGammaRamps(GammaRamps* ramps);

// Expands the record into ramps when it is well formed and made for this display; otherwise
// returns false and leaves the ramps linear.
bool ParseBootGamma(ByteSpan record, const DisplayIdentity& display, GammaRamps* ramps);
