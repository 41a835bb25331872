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

// --- Compositing ------------------------------------------------------------------------

#include <pixman.h>

#include "draw/composite.h"

namespace {

constexpr int kScreenWidth = 1920, kScreenHeight = 1080;

// A full-screen view whose transparency varies across it: a soft vignette around an opaque
// middle, fully transparent corners, every value in between.
const std::vector<DUPixel>& FullScreenView() {
  static std::vector<DUPixel> pixels = [] {
    std::vector<DUPixel> p(size_t(kScreenWidth) * kScreenHeight);
    for (int y = 0; y < kScreenHeight; ++y) {
      for (int x = 0; x < kScreenWidth; ++x) {
        double dx = (x - kScreenWidth / 2.0) / (kScreenWidth / 2.0), dy = (y - kScreenHeight / 2.0) / (kScreenHeight / 2.0);
        double d = (dx * dx + dy * dy) / 2;  // 0 in the middle, 1 in the corners
        UINT8 t = d < 0.1 ? 0 : d > 0.9 ? 255 : UINT8((d - 0.1) / 0.8 * 255);
        p[size_t(y) * kScreenWidth + x] = DUColorMake(UINT8(x), UINT8(y), UINT8(x ^ y), t);
      }
    }
    return p;
  }();
  return pixels;
}

void BM_Draw_CompositeFullScreen_Hearth(benchmark::State& state) {
  const std::vector<DUPixel>& view = FullScreenView();
  std::vector<DUPixel> screen(view.size(), DUColorMake(30, 60, 90, 0));
  DUSize size{kScreenHeight, kScreenWidth};
  DURect clip{0, 0, kScreenHeight, kScreenWidth};
  for (auto _ : state) {
    if (DUCompositePixelBuffers(screen.data(), size, &clip, view.data(), size, {0, 0}, 0, nullptr) != EFI_SUCCESS) {
      state.SkipWithError("compositing failed");
      break;
    }
    benchmark::DoNotOptimize(screen.data());
  }
}

// pixman works on premultiplied alpha: the same view, converted once before timing.
void BM_Draw_CompositeFullScreen_PixmanOver(benchmark::State& state) {
  const std::vector<DUPixel>& view = FullScreenView();
  std::vector<uint32_t> premultiplied(view.size());
  for (size_t i = 0; i < view.size(); ++i) {
    uint32_t a = 255 - (view[i] >> 24), out = a << 24;
    for (int c = 0; c < 3; ++c) out |= (((view[i] >> (8 * c)) & 0xFF) * a / 255) << (8 * c);
    premultiplied[i] = out;
  }
  std::vector<uint32_t> screen(view.size(), 0xFF1E3C5A);
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kScreenWidth, kScreenHeight, premultiplied.data(),
                                                 kScreenWidth * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kScreenWidth, kScreenHeight, screen.data(),
                                                 kScreenWidth * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kScreenWidth, kScreenHeight);
    benchmark::DoNotOptimize(screen.data());
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
}

BENCHMARK(BM_Draw_CompositeFullScreen_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw_CompositeFullScreen_PixmanOver)->Unit(benchmark::kMillisecond);

HEARTH_BENCH_RATIO(kCompositeFullScreen, "composite_fullscreen_1920x1080_vs_pixman_over", "BM_Draw_CompositeFullScreen_Hearth",
                   "BM_Draw_CompositeFullScreen_PixmanOver");

}  // namespace
