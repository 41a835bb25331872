#include "panic/panic_log.h"

#include "lib/mem.h"
#include "panic/time_span.h"

PanicLog NewPanicLog(UINT32 crc, const EFI_TIME& now) {
  PanicLog log;
  MemZero(&log, sizeof(log));
  log.magic = kPanicLogMagic;
  log.crc = crc;
  log.times[0] = now;
  return log;
}

bool ReadPanicLog(ByteSpan bytes, PanicLog* log) {
  if (bytes.size() != kPanicLogSize || !bytes.Read(0, log)) return false;
  return log->magic == kPanicLogMagic && log->newest < kPanicLogEntries;
}

UINT32 RecordPanic(PanicLog* log, UINT32 crc, const EFI_TIME& now) {
  log->crc = crc;
  log->newest = log->newest + 1 >= kPanicLogEntries ? 0 : log->newest + 1;
  log->times[log->newest] = now;
  // This panic is one of the five: the span runs from the oldest of the other four to now.
  UINT32 span = 0;
  for (UINT32 i = 0; i < kPanicLogEntries; ++i) {
    if (i == log->newest) continue;
    UINT32 d = TimeSpanSeconds(log->times[i], now);
    if (d == 0) return 0;
    if (d > span) span = d;
  }
  return span;
}
