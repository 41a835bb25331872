// Drawing layer against its peers: resampling against stb_image_resize with the same
// filter (box for a 3840x2160 picture shrunk to 1920x1080, Catmull-Rom for artwork doubled
// for HiDPI), both weighting colour by opacity; compositing a full-screen view with
// per-pixel transparency against pixman's OVER.
#include <benchmark/benchmark.h>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb/stb_image_resize.h>

#include <cstdint>
#include <vector>

#include "bench/ratio.h"
#include "draw/resample.h"
#include "testfw/test_firmware.h"

namespace {

// A photograph-like opaque picture: smooth gradients with a little noise.
std::vector<DUPixel> Photo(int width, int height) {
  std::vector<DUPixel> pixels(size_t(width) * height);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      uint32_t n = (noise >> 24) & 15;
      pixels[size_t(y) * width + x] =
          DUColorMake(UINT8((x * 255 / width + n) & 0xFF), UINT8((y * 255 / height + n) & 0xFF), UINT8((x + y) & 0xFF), 0);
    }
  }
  return pixels;
}

// Artwork: an opaque disc with a soft edge on a fully transparent ground.
std::vector<DUPixel> Artwork(int size) {
  std::vector<DUPixel> pixels(size_t(size) * size);
  double r = size * 0.4;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double dx = x - size / 2.0, dy = y - size / 2.0, d = dx * dx + dy * dy;
      double edge = (r * r - d) / (r * 8);  // about 4 pixels of soft edge
      UINT8 t = edge >= 1 ? 0 : edge <= 0 ? 255 : UINT8(255 - edge * 255);
      pixels[size_t(y) * size + x] = DUColorMake(UINT8(x), 90, UINT8(y), t);
    }
  }
  return pixels;
}

struct ResampleCase {
  std::vector<DUPixel> source;
  DUSize from, to;
  stbir_filter peer_filter;
};

const ResampleCase& Downscale4K() {
  static ResampleCase c{Photo(3840, 2160), {2160, 3840}, {1080, 1920}, STBIR_FILTER_BOX};
  return c;
}
const ResampleCase& Artwork2x() {
  static ResampleCase c{Artwork(512), {512, 512}, {1024, 1024}, STBIR_FILTER_CATMULLROM};
  return c;
}

void RunOurs(benchmark::State& state, const ResampleCase& c) {
  TestFirmware fw;
  std::vector<DUPixel> out(size_t(c.to.width) * c.to.height);
  DUSetResampleFilter(kDUFilterAutomatic);
  for (auto _ : state) {
    if (DUResamplePixelBuffer(out.data(), c.source.data(), c.from, c.to) != EFI_SUCCESS) {
      state.SkipWithError("resampling failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
}

void RunPeer(benchmark::State& state, const ResampleCase& c) {
  std::vector<DUPixel> out(size_t(c.to.width) * c.to.height);
  for (auto _ : state) {
    int ok = stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(c.source.data()), c.from.width,
                                        c.from.height, 0, reinterpret_cast<unsigned char*>(out.data()), c.to.width,
                                        c.to.height, 0, 4, 3, 0, STBIR_EDGE_CLAMP, c.peer_filter,
                                        STBIR_COLORSPACE_LINEAR, nullptr);
    if (!ok) {
      state.SkipWithError("stb_image_resize failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_Draw_Resample4KToHalf_Hearth(benchmark::State& state) { RunOurs(state, Downscale4K()); }
void BM_Draw_Resample4KToHalf_Stb(benchmark::State& state) { RunPeer(state, Downscale4K()); }
void BM_Draw_ResampleArtwork2x_Hearth(benchmark::State& state) { RunOurs(state, Artwork2x()); }
void BM_Draw_ResampleArtwork2x_Stb(benchmark::State& state) { RunPeer(state, Artwork2x()); }

BENCHMARK(BM_Draw_Resample4KToHalf_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_Resample4KToHalf_Stb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_ResampleArtwork2x_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_ResampleArtwork2x_Stb)->Unit(benchmark::kMillisecond);

HEARTH_BENCH_RATIO(kResample4K, "resample_3840x2160_to_1920x1080_vs_stb", "BM_Draw_Resample4KToHalf_Hearth",
                   "BM_Draw_Resample4KToHalf_Stb");
HEARTH_BENCH_RATIO(kResampleArtwork, "resample_artwork_1x_to_2x_vs_stb", "BM_Draw_ResampleArtwork2x_Hearth",
                   "BM_Draw_ResampleArtwork2x_Stb");

}  // namespace
