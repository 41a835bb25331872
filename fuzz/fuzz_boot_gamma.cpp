// The "boot-gamma" variable: any bytes, read against a display whose identity the record
// itself names (so that the channel tables are reached), in an exact-size heap block.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <memory>

#include "graphics/gamma_ramps.h"
#include "lib/mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<uint8_t[]> record(new uint8_t[size ? size : 1]);
  MemCopy(record.get(), data, size);
  DisplayIdentity display{0, 0, 0};
  if (size >= 12) display = {LoadLe32(data), LoadLe32(data + 4), LoadLe32(data + 8)};
  GammaRamps ramps;
  bool accepted = ParseBootGamma(ByteSpan(record.get(), size), display, &ramps);
  if (accepted && (ramps.red[0] != 0 || ramps.green[kGammaRampEntries - 1] > 0xFFFF)) std::abort();
  return 0;
}
