#include "graphics/gamma_ramps.h"

namespace {

// One channel table at offset: a count and its pairs. False when it leaves the record.
bool TableSize(ByteSpan record, size_t offset, size_t* size) {
  uint16_t count = 0;
  if (!record.ReadLe16(offset, &count)) return false;
  *size = 2 + 4 * size_t(count);
  return record.Contains(offset, *size);
}

// Interpolates between control points (0, 0), each pair (input >> 6, output) and
// (1023, 65535). A point that does not lie right of the one before is skipped: two points
// at one ramp index would divide by zero.
void ExpandTable(ByteSpan table, UINT16* ramp) {
  uint16_t count = 0;
  table.ReadLe16(0, &count);
  INT64 x0 = 0, y0 = 0;
  ramp[0] = 0;
  for (size_t k = 0; k <= count; ++k) {
    INT64 x1 = kGammaRampEntries - 1, y1 = 0xFFFF;
    if (k < count) {
      uint16_t input = 0, output = 0;
      table.ReadLe16(2 + 4 * k, &input);
      table.ReadLe16(4 + 4 * k, &output);
      x1 = input >> 6;
      y1 = output;
    }
    if (x1 <= x0) continue;
    for (INT64 i = x0; i <= x1; ++i) {
      INT64 y = y0 + (i - x0) * (y1 - y0) / (x1 - x0);
      ramp[i] = static_cast<UINT16>(y < 0 ? 0 : (y > 0xFFFF ? 0xFFFF : y));
    }
    x0 = x1;
    y0 = y1;
  }
}

}  // namespace

bool DisplayIdentityFromEdid(ByteSpan edid, DisplayIdentity* identity) {
  if (edid.size() < 16) return false;
  const uint8_t* b = edid.data();
  identity->manufacturer = (UINT32(b[8]) << 8) | b[9];
  identity->product = UINT32(b[10]) | (UINT32(b[11]) << 8);
  identity->serial = LoadLe32(b + 12);
  return true;
}

void LinearGammaRamps(GammaRamps* ramps) {
  for (UINT32 i = 0; i < kGammaRampEntries; ++i) {
    ramps->red[i] = ramps->green[i] = ramps->blue[i] = static_cast<UINT16>(64 * i);
  }
}

bool ParseBootGamma(ByteSpan record, const DisplayIdentity& display, GammaRamps* ramps) {
  LinearGammaRamps(ramps);
  uint32_t manufacturer = 0, product = 0, serial = 0;
  uint16_t total = 0;
  if (!record.ReadLe32(0, &manufacturer) || !record.ReadLe32(4, &product) || !record.ReadLe32(8, &serial) ||
      !record.ReadLe16(12, &total)) {
    return false;
  }
  if (manufacturer != display.manufacturer || product != display.product) return false;
  if (serial != 0 && serial != display.serial) return false;
  ByteSpan body;
  if (!record.Slice(0, total, &body)) return false;
  size_t sizes[3];
  size_t offset = kBootGammaHeaderSize;
  for (size_t& size : sizes) {
    if (!TableSize(body, offset, &size)) return false;
    offset += size;
  }
  if (offset != total) return false;
  UINT16* channels[3] = {ramps->red, ramps->green, ramps->blue};
  offset = kBootGammaHeaderSize;
  for (int c = 0; c < 3; ++c) {
    ByteSpan table;
    body.Slice(offset, sizes[c], &table);
    ExpandTable(table, channels[c]);
    offset += sizes[c];
  }
  return true;
}
