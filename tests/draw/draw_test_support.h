// Shared helpers of the drawing tests: random pictures and pixel access.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "draw/geometry.h"

inline uint32_t Channel(DUPixel p, int c) { return (p >> (8 * c)) & 0xFF; }

// Random pixels whose transparency is opaque, fully transparent or anything in between, in
// about equal shares, so that edges and soft parts are both exercised.
inline std::vector<DUPixel> RandomPicture(std::mt19937& rng, int width, int height) {
  std::vector<DUPixel> pixels(size_t(width) * height);
  for (DUPixel& p : pixels) {
    uint32_t t = rng() % 3 == 0 ? 0 : rng() % 2 ? 255 : rng() % 256;
    p = (rng() & 0xFFFFFF) | (t << 24);
  }
  return pixels;
}
