// DecompressLzvn on arbitrary streams. The first two input bytes choose the destination size
// (little-endian); the destination is a heap block of exactly that size, so any write past it
// or read past the stream is caught.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <memory>

#include "kernel/lzvn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  size_t capacity = data[0] | (data[1] << 8);
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
  size_t produced = DecompressLzvn(out.get(), capacity, data + 2, size - 2);
  if (produced > capacity) std::abort();
  return 0;
}
