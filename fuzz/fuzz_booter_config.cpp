// Settings text from a firmware variable: any bytes, any length.
#include <stddef.h>
#include <stdint.h>

#include "flags/booter_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BooterSettings settings = {kBooterDefaultLog, kBooterDefaultDebug, kBooterDefaultKcReadSize, kBooterDefaultLevel};
  ParseBooterSettings(ByteSpan(data, size), &settings);
  UINT64 value = 0;
  BooterConfigLookup(ByteSpan(data, size), "", &value);
  return 0;
}
