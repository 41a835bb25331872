// DecompressLzss on arbitrary data. The first two input bytes choose the destination size
// (little-endian); the destination is a heap block of exactly that size, so any write past it
// or read past the data is caught.
#include <stddef.h>
#include <stdint.h>

#include "fuzz/fuzz_support.h"
#include "kernel/lzss.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::DecompressIntoExactBuffer(DecompressLzss, data, size);
  return 0;
}
