// A plain, slow resampler in doubles, written straight from the rules the drawing layer
// follows, to check the real one against: per output pixel a two-dimensional sum over its
// contributors, colour weighted by opacity and divided by the summed opacity afterwards.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace reference {

inline double Kernel(int filter, double x) {
  double a = std::fabs(x);
  switch (filter) {
    case 2: return a <= 0.5 ? 1 : 0;
    case 3: return a < 1 ? 1 - a : 0;
    case 4: return a < 0.5 ? 0.75 - x * x : a < 1.5 ? 0.5 * (a - 1.5) * (a - 1.5) : 0;
    case 5: return a < 1 ? 0.5 * a * a * a - x * x + 2.0 / 3 : a < 2 ? std::pow(2 - a, 3) / 6 : 0;
    case 6: return a < 1 ? 1.5 * a * a * a - 2.5 * x * x + 1 : a < 2 ? -0.5 * a * a * a + 2.5 * x * x - 4 * a + 2 : 0;
    case 7:
      return a < 1 ? 7.0 / 6 * a * a * a - 2 * x * x + 8.0 / 9
             : a < 2 ? -7.0 / 18 * a * a * a + 2 * x * x - 10.0 / 3 * a + 16.0 / 9
                     : 0;
  }
  return 0;
}

inline double Support(int filter) { return filter == 2 ? 0.5 : filter == 3 ? 1 : filter == 4 ? 1.5 : 2; }

struct Tap {
  int index;
  double weight;
};

// Normalised contributors of every output pixel along one axis.
inline std::vector<std::vector<Tap>> Weights(int filter, int old_length, int new_length) {
  double scale = double(new_length) / old_length;
  double f = std::min(scale, 1.0);
  double width = Support(filter) / f;
  std::vector<std::vector<Tap>> out(new_length);
  for (int i = 0; i < new_length; ++i) {
    double centre = (i + 0.5) / scale;
    double sum = 0;
    for (long j = std::max(0L, long(std::floor(centre - width)));
         j <= std::min(long(old_length) - 1, long(std::floor(centre + width))); ++j) {
      double a = std::max(double(j), centre - width), b = std::min(double(j + 1), centre + width);
      if (b <= a) continue;
      double w = Kernel(filter, f * ((a + b) / 2 - centre)) * (b - a);
      if (w == 0) continue;
      out[i].push_back({int(j), w});
      sum += w;
    }
    for (Tap& t : out[i]) t.weight /= sum;
  }
  return out;
}

inline uint32_t Clamp(double v) { return v < 0 ? 0 : v > 255 ? 255 : uint32_t(v); }

// Pixels are blue, green, red, transparency in the bytes of a uint32_t, low first.
inline std::vector<uint32_t> Resample(int filter, const std::vector<uint32_t>& src, int width, int height,
                                      int new_width, int new_height) {
  std::vector<uint32_t> out(size_t(new_width) * new_height);
  if (filter == 1) {
    for (int y = 0; y < new_height; ++y)
      for (int x = 0; x < new_width; ++x)
        out[size_t(y) * new_width + x] =
            src[size_t(long(y) * height / new_height) * width + size_t(long(x) * width / new_width)];
    return out;
  }
  auto across = Weights(filter, width, new_width);
  auto down = Weights(filter, height, new_height);
  for (int y = 0; y < new_height; ++y) {
    for (int x = 0; x < new_width; ++x) {
      double colour[3] = {0, 0, 0}, opacity = 0;
      for (const Tap& ty : down[y]) {
        for (const Tap& tx : across[x]) {
          uint32_t p = src[size_t(ty.index) * width + tx.index];
          double w = ty.weight * tx.weight, o = (255 - (p >> 24)) / 255.0;
          for (int c = 0; c < 3; ++c) colour[c] += w * ((p >> (8 * c)) & 0xFF) / 255.0 * o;
          opacity += w * o;
        }
      }
      uint32_t t = Clamp((1 - opacity) * 255 + 0.5);
      uint32_t pixel = t << 24;
      if (t != 255) {
        for (int c = 0; c < 3; ++c) pixel |= Clamp(colour[c] / opacity * 255 + 0.5) << (8 * c);
      }
      out[size_t(y) * new_width + x] = pixel;
    }
  }
  return out;
}

}  // namespace reference
