// LZSS encoder for host tools, in the 4096-byte ring window format DecompressLzss reads:
// hash-chain match finder with lazy matching, references of 3 to 18 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

std::vector<uint8_t> LzssEncode(const uint8_t* data, size_t size, int max_chain = 128);
