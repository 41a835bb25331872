// Slicing-by-8 tables of a reflected 32-bit CRC, computed at compile time.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct CrcSliceTables {
  uint32_t t[8][256];
};

constexpr CrcSliceTables MakeCrcSliceTables(uint32_t polynomial) {
  CrcSliceTables tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ polynomial : c >> 1;
    tables.t[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n) {
    for (int s = 1; s < 8; ++s) {
      uint32_t prev = tables.t[s - 1][n];
      tables.t[s][n] = (prev >> 8) ^ tables.t[0][prev & 0xFF];
    }
  }
  return tables;
}

// Runs the register over the data, eight bytes at a time.
uint32_t CrcSliceBy8(const CrcSliceTables& tables, uint32_t crc, const uint8_t* p, size_t length);

// Folding with carry-less multiplication for CRC-32; length a multiple of 16, at least 64.
uint32_t Crc32ClmulFold(uint32_t crc, const uint8_t* p, size_t length);
