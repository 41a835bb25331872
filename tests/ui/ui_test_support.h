// Shared pieces of the login-toolkit tests: the debug log captured in memory, and archives
// laid out record by record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/log.h"
#include "flags/booter_config.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

// Starts the log with only its in-memory copy; call after the TestFirmware exists.
inline void CaptureLog() {
  gBooterSettings.log = 0;
  gBooterSettings.debug = kLogDebugPublishMemoryLog;
  gBooterSettings.level = kBooterDefaultLevel;
  LogStart(gBooterSettings);
}

inline std::string CapturedLog() {
  const UINT8* data = nullptr;
  UINTN size = 0;
  LogInMemoryContents(&data, &size);
  return std::string(reinterpret_cast<const char*>(data), size);
}

// One record of a hand-made archive; data is appended after the table unless offset is set.
struct RawRecord {
  std::string name;
  std::string data;
  int64_t offset = -1;  // explicit offset (the data is then not stored)
  int64_t length = -1;  // explicit length
};

inline std::vector<uint8_t> RawArchive(const std::vector<RawRecord>& records, uint16_t format = 0x0102) {
  std::vector<uint8_t> out(4 + 72 * records.size(), 0);
  StoreLe16(out.data(), format);
  StoreLe16(out.data() + 2, static_cast<uint16_t>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    const RawRecord& r = records[i];
    uint8_t* record = out.data() + 4 + 72 * i;
    std::copy(r.name.begin(), r.name.begin() + std::min<size_t>(r.name.size(), 64), record);
    uint32_t offset = r.offset >= 0 ? uint32_t(r.offset) : uint32_t(out.size());
    uint32_t length = r.length >= 0 ? uint32_t(r.length) : uint32_t(r.data.size());
    if (r.offset < 0) out.insert(out.end(), r.data.begin(), r.data.end());
    record = out.data() + 4 + 72 * i;  // the insert may have moved the bytes
    StoreLe32(record + 64, offset);
    StoreLe32(record + 68, length);
  }
  return out;
}
