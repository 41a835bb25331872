#include "tools/launcher/settings_marker.h"

#include <cstring>

namespace mirrorwell {

bool MarkerAsksForSudo(const std::vector<uint8_t>& firstBytes) {
  uint8_t buffer[kMarkerSize] = {};
  size_t length = firstBytes.size() < kMarkerSize ? firstBytes.size() : kMarkerSize;
  if (length != 0) std::memcpy(buffer, firstBytes.data(), length);
  return std::memcmp(buffer, kSudoMarker, kMarkerSize) == 0;
}

std::vector<uint8_t> ServiceMarkerBytes() {
  return std::vector<uint8_t>(kServiceMarker, kServiceMarker + kMarkerSize);
}

}  // namespace mirrorwell
