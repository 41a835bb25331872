#include "crypto/crc32.h"

#include "crypto/crc32_tables.h"
#include "crypto/processor_features.h"
#include "lib/mem.h"

namespace {

constexpr CrcSliceTables kCrc32Tables = MakeCrcSliceTables(0xEDB88320u);
constexpr CrcSliceTables kCrc32cTables = MakeCrcSliceTables(0x82F63B78u);

constexpr size_t kClmulMinimum = 64;

}  // namespace

uint32_t CrcSliceBy8(const CrcSliceTables& tables, uint32_t crc, const uint8_t* p, size_t length) {
  const auto& t = tables.t;
  for (; length >= 8; length -= 8, p += 8) {
    uint32_t lo = LoadLe32(p) ^ crc;
    uint32_t hi = LoadLe32(p + 4);
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
  }
  for (; length > 0; --length, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return crc;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t length) {
  if (!data || !length) return crc;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
  if (length >= kClmulMinimum && CryptoUseClmulCrc(CryptoFeatures())) {
    size_t folded = length & ~size_t(15);
    crc = Crc32ClmulFold(crc, p, folded);
    p += folded;
    length -= folded;
  }
  return ~CrcSliceBy8(kCrc32Tables, crc, p, length);
}

void Crc32cUpdate(uint32_t* crc, const void* data, size_t length) {
  if (!crc || !data) return;
  *crc = CrcSliceBy8(kCrc32cTables, *crc, static_cast<const uint8_t*>(data), length);
}
