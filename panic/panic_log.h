// "TARN,PanicInfoLog": the boot times at which new panic reports were seen, a ring of five,
// and the CRC-32 of the last report. 92 bytes, little-endian.
#pragma once

#include "efi/efi.h"
#include "lib/span.h"

constexpr UINT32 kPanicLogMagic = 0x1234;
constexpr UINT32 kPanicLogEntries = 5;
constexpr UINTN kPanicLogSize = 92;
constexpr UINT32 kPanicLoopSeconds = 180;

struct PanicLog {
  UINT32 magic;
  UINT32 newest;  // index of the newest entry, 0..4
  UINT32 crc;     // of the last panic report seen
  EFI_TIME times[kPanicLogEntries];
};
static_assert(sizeof(PanicLog) == kPanicLogSize);

// A fresh log: this report's CRC, now as entry 0, the other entries zero.
PanicLog NewPanicLog(UINT32 crc, const EFI_TIME& now);

// False unless the bytes are exactly one log with the magic and an index inside the ring.
bool ReadPanicLog(ByteSpan bytes, PanicLog* log);

// Records the new CRC and now as the newest entry, then returns the longest span from the
// other four entries to now: the time five panics took, counting this one. 0 as soon as one
// of them is not earlier in the same month (the chain is broken, or the ring not full yet).
UINT32 RecordPanic(PanicLog* log, UINT32 crc, const EFI_TIME& now);
