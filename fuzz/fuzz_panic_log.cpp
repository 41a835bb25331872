// "TARN,PanicInfoLog" as the firmware hands it back: any bytes, then (when the bytes that
// follow the log's 92 give one) a clock reading to record against it, as the next boot would.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <memory>

#include "lib/mem.h"
#include "panic/panic_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[size ? size : 1]);
  MemCopy(bytes.get(), data, size);
  size_t log_size = size < kPanicLogSize ? size : kPanicLogSize;
  PanicLog log;
  if (!ReadPanicLog(ByteSpan(bytes.get(), log_size), &log)) return 0;
  if (log.newest >= kPanicLogEntries) std::abort();
  EFI_TIME now{};
  if (size >= kPanicLogSize + sizeof(now)) MemCopy(&now, data + kPanicLogSize, sizeof(now));
  UINT32 span = RecordPanic(&log, 0x12345678, now);
  if (log.newest >= kPanicLogEntries || log.crc != 0x12345678) std::abort();
  (void)span;
  return 0;
}
