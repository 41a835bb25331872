// The in-memory copy of the debug log: a ring of the most recent kLogMemorySize bytes in
// static storage (so that the failure exit, which frees every allocation, cannot pull it
// away, and it keeps working after boot services are gone).
#include "diag/log.h"
#include "diag/log_sinks.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {

struct MemoryLog {
  UINT8 enabled;
  UINTN head;            // next write position
  bool wrapped;          // older bytes were overwritten; the oldest is at head
  UINT64 total;          // bytes ever written
  UINT64 flushed_total;  // total at the last MemorySinkTakeUnflushed
};
MemoryLog gMemoryLog = {};
UINT8 gMemoryBytes[kLogMemorySize];

void ResetMemoryLog() { gMemoryLog = MemoryLog{}; }
HEARTH_HOST_RESET(ResetMemoryLog);

void Reverse(UINT8* p, UINTN n) {
  for (UINTN i = 0; i < n / 2; ++i) {
    UINT8 t = p[i];
    p[i] = p[n - 1 - i];
    p[n - 1 - i] = t;
  }
}

// Puts the oldest byte first so that the contents are one run.
void Linearize() {
  if (!gMemoryLog.wrapped || gMemoryLog.head == 0) return;
  Reverse(gMemoryBytes, gMemoryLog.head);
  Reverse(gMemoryBytes + gMemoryLog.head, kLogMemorySize - gMemoryLog.head);
  Reverse(gMemoryBytes, kLogMemorySize);
  gMemoryLog.head = 0;
}

UINTN Held() { return gMemoryLog.wrapped ? kLogMemorySize : gMemoryLog.head; }

}  // namespace

void MemorySinkEnable(UINT8 state) { gMemoryLog.enabled = state == kLogSinkEnable; }

void MemorySinkWrite(UINT32, const char* text, UINTN length) {
  if (!gMemoryLog.enabled) return;
  gMemoryLog.total += length;
  if (length >= kLogMemorySize) {  // only the tail survives
    text += length - kLogMemorySize;
    length = kLogMemorySize;
  }
  UINTN first = kLogMemorySize - gMemoryLog.head;
  if (first > length) first = length;
  MemCopy(gMemoryBytes + gMemoryLog.head, text, first);
  MemCopy(gMemoryBytes, text + first, length - first);
  if (gMemoryLog.head + length >= kLogMemorySize) gMemoryLog.wrapped = true;
  gMemoryLog.head = (gMemoryLog.head + length) % kLogMemorySize;
}

void LogInMemoryContents(const UINT8** data, UINTN* size) {
  Linearize();
  UINTN skip = 0;
  if (gMemoryLog.wrapped) {  // drop the partial first line
    while (skip < kLogMemorySize && gMemoryBytes[skip] != '\n') ++skip;
    skip = skip < kLogMemorySize ? skip + 1 : 0;
  }
  *data = gMemoryBytes + skip;
  *size = Held() - skip;
}

void MemorySinkTakeUnflushed(const UINT8** data, UINTN* size) {
  Linearize();
  UINT64 fresh = gMemoryLog.total - gMemoryLog.flushed_total;
  const UINTN held = Held();
  if (fresh > held) fresh = held;
  *data = gMemoryBytes + held - fresh;
  *size = static_cast<UINTN>(fresh);
  gMemoryLog.flushed_total = gMemoryLog.total;
}
