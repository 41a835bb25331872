// LZVN encoder for host tools: hash-chain match finder with lazy matching. The output ends
// with the eight-byte end-of-stream mark and decodes with DecompressLzvn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LzvnEncodeOptions {
  int max_chain = 256;      // candidates examined per position
  size_t nice_length = 256;  // a match this long ends the search
};

std::vector<uint8_t> LzvnEncode(const uint8_t* data, size_t size, const LzvnEncodeOptions& options = {});
