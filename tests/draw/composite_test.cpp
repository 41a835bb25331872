#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "draw/composite.h"
#include "draw/resample.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/draw/draw_test_support.h"

namespace {

// The blend rules, written out plainly: the layer transparency L joins the source pixel's
// own, then the two pixels mix with integer weights.
DUPixel ReferenceBlend(DUPixel d, DUPixel s, uint32_t L) {
  uint32_t ts = s >> 24;
  if (ts == 255 || L == 255) return d;
  ts = ts + (255 - ts) * L / 255;
  if (ts == 0) return s & 0xFFFFFF;
  uint32_t td = d >> 24;
  uint32_t T = td * ts / 255;
  uint32_t wd = (255 - td) * ts / (255 - T);
  uint32_t ws = (255 - ts) * 255 / (255 - T);
  uint32_t out = T << 24;
  for (int c = 0; c < 3; ++c) out |= (Channel(s, c) * ws / 255 + Channel(d, c) * wd / 255) << (8 * c);
  return out;
}

std::vector<DUPixel> ReferenceComposite(std::vector<DUPixel> dst, DUSize dsize, DURect clip, const std::vector<DUPixel>& src,
                                        DUSize ssize, DUPoint at, uint32_t L) {
  for (int y = 0; y < dsize.height; ++y) {
    for (int x = 0; x < dsize.width; ++x) {
      int sx = x - at.x, sy = y - at.y;
      if (sx < 0 || sy < 0 || sx >= ssize.width || sy >= ssize.height) continue;
      if (!DUPointInRect(DUPoint{x, y}, clip)) continue;
      dst[y * dsize.width + x] = ReferenceBlend(dst[y * dsize.width + x], src[sy * ssize.width + sx], L);
    }
  }
  return dst;
}

class Composite : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(TrackedAllocationCount(), 0u); }
  TestFirmware fw_;
};

TEST_F(Composite, MatchesTheReferenceOnRandomBuffersPositionsAndClips) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 300; ++round) {
    DUSize dsize{int(rng() % 20 + 1), int(rng() % 20 + 1)}, ssize{int(rng() % 24 + 1), int(rng() % 24 + 1)};
    auto dst = RandomPicture(rng, dsize.width, dsize.height);
    if (round % 3 == 0) {  // an opaque destination, as the screen's back buffer is
      for (DUPixel& p : dst) p &= 0xFFFFFF;
    }
    auto src = RandomPicture(rng, ssize.width, ssize.height);
    if (round % 5 == 0) {  // long opaque and transparent runs
      for (size_t i = 0; i < src.size(); ++i) src[i] = (src[i] & 0xFFFFFF) | ((i / 9) % 2 ? 0xFF000000 : 0);
    }
    DUPoint at{int(rng() % 30) - 12, int(rng() % 30) - 12};
    DURect clip{int(rng() % 20) - 4, int(rng() % 20) - 4, int(rng() % 24), int(rng() % 24)};
    uint32_t L = round % 4 == 0 ? 0 : rng() % 256;
    auto expected = ReferenceComposite(dst, dsize, clip, src, ssize, at, L);
    EFI_STATUS status = DUCompositePixelBuffers(dst.data(), dsize, &clip, src.data(), ssize, at, UINT8(L), nullptr);
    ASSERT_TRUE(status == EFI_SUCCESS || status == EFI_NOT_FOUND) << status;
    ASSERT_EQ(dst, expected) << "round " << round;
  }
}

TEST_F(Composite, TransparentSourceKeepsOpaqueReplacesAndNegativePointsClip) {
  std::vector<DUPixel> dst(4 * 4, DUColorMake(1, 2, 3, 0));
  std::vector<DUPixel> src = {DUColorMake(9, 9, 9, 255), DUColorMake(200, 100, 50, 0),  // row 0
                              DUColorMake(7, 7, 7, 0), DUColorMake(8, 8, 8, 0)};
  DURect clip{0, 0, 4, 4};
  // Placed at (-1, -1), only the source's bottom-right pixel lands, at (0, 0).
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &clip, src.data(), {2, 2}, {-1, -1}, 0, nullptr), EFI_SUCCESS);
  EXPECT_EQ(dst[0], DUColorMake(8, 8, 8, 0));
  EXPECT_EQ(dst[1], DUColorMake(1, 2, 3, 0));
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &clip, src.data(), {2, 2}, {2, 2}, 0, nullptr), EFI_SUCCESS);
  EXPECT_EQ(dst[2 * 4 + 2], DUColorMake(1, 2, 3, 0)) << "a fully transparent pixel changes nothing";
  EXPECT_EQ(dst[2 * 4 + 3], DUColorMake(200, 100, 50, 0));
}

TEST_F(Composite, NothingToDrawIsNotFoundAndMissingBuffersAreRefused) {
  std::vector<DUPixel> dst(16), src(4);
  DURect clip{0, 0, 4, 4}, far{10, 10, 2, 2}, empty{0, 0, 0, 4};
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &clip, src.data(), {2, 2}, {4, 0}, 0, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &clip, src.data(), {2, 2}, {-2, 1}, 0, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &far, src.data(), {2, 2}, {0, 0}, 0, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &empty, src.data(), {2, 2}, {0, 0}, 0, nullptr), EFI_NOT_FOUND);
  EXPECT_EQ(DUCompositePixelBuffers(nullptr, {4, 4}, &clip, src.data(), {2, 2}, {0, 0}, 0, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUCompositePixelBuffers(dst.data(), {4, 4}, &clip, nullptr, {2, 2}, {0, 0}, 0, nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(Composite, LayerTransparencyShowsOverAnOpaqueScreenAndCombinesOverATransparentOne) {
  DUPixel white = DUColorMake(255, 255, 255, 0), black = DUColorMake(0, 0, 0, 0);
  DUPixel dst = black;
  DUCompositePixelBuffers(&dst, {1, 1}, nullptr, &white, {1, 1}, {0, 0}, 128, nullptr);
  EXPECT_EQ(dst, DUColorMake(127, 127, 127, 0)) << "half transparent white over black is grey";
  // Over a fully transparent destination the result is the source with the combined transparency
  // (255 - t) x L / 255 + t, whatever the order in which the two are applied.
  for (uint32_t t : {0u, 60u, 200u}) {
    for (uint32_t L : {0u, 1u, 120u, 254u}) {
      DUPixel s = DUColorMake(10, 20, 30, UINT8(t)), d = 0xFF000000;
      DUCompositePixelBuffers(&d, {1, 1}, nullptr, &s, {1, 1}, {0, 0}, UINT8(L), nullptr);
      EXPECT_EQ(d, (s & 0xFFFFFF) | (((255 - t) * L / 255 + t) << 24)) << t << " " << L;
    }
  }
  dst = black;
  EXPECT_EQ(DUCompositePixelBuffers(&dst, {1, 1}, nullptr, &white, {1, 1}, {0, 0}, 255, nullptr), EFI_SUCCESS);
  EXPECT_EQ(dst, black) << "a fully transparent layer draws nothing";
}

TEST_F(Composite, ScaledCopiesAreMadeOnceAndRemadeWhenTheFactorsChange) {
  std::mt19937 rng(7);
  auto src = RandomPicture(rng, 6, 4);
  std::vector<DUPixel> dst(20 * 20, 0), expected(12 * 8);
  DUScaledCopy* cache = nullptr;
  DUScaling scaling{TRUE, 2 * kDUFixedOne, 2 * kDUFixedOne, 77, &cache};
  ASSERT_EQ(DUResamplePixelBuffer(expected.data(), src.data(), {4, 6}, {8, 12}), EFI_SUCCESS);
  auto draw = [&] { return DUCompositePixelBuffers(dst.data(), {20, 20}, nullptr, src.data(), {4, 6}, {0, 0}, 0, &scaling); };

  ASSERT_EQ(draw(), EFI_SUCCESS);
  ASSERT_NE(cache, nullptr);
  EXPECT_EQ(cache->size.width, 12);
  EXPECT_EQ(cache->size.height, 8);
  EXPECT_EQ(std::vector<DUPixel>(cache->pixels, cache->pixels + 96), expected);
  DUPixel* first = cache->pixels;
  UINTN allocations = TrackedAllocationCount();
  ASSERT_EQ(draw(), EFI_SUCCESS);
  EXPECT_EQ(cache->pixels, first) << "the cached copy is reused";
  EXPECT_EQ(TrackedAllocationCount(), allocations);

  scaling.horizontal = kDUFixedOne + kDUFixedOne / 2;  // 1.5 x 6 = 9 wide
  ASSERT_EQ(draw(), EFI_SUCCESS);
  EXPECT_EQ(cache->size.width, 9);
  EXPECT_EQ(cache->next, nullptr) << "same picture, same entry";
  scaling.identifier = 78;
  ASSERT_EQ(draw(), EFI_SUCCESS);
  ASSERT_NE(cache->next, nullptr) << "another picture gets its own entry";

  scaling.horizontal = 1;  // 6 / 65536 of a pixel
  EXPECT_EQ(draw(), EFI_INVALID_PARAMETER);
  DUScaledCopiesFree(&cache);
  EXPECT_EQ(cache, nullptr);

  // Without a cache the copy lasts one call.
  scaling = DUScaling{TRUE, kDUFixedOne / 2, kDUFixedOne / 2, 1, nullptr};
  EXPECT_EQ(draw(), EFI_SUCCESS);
}

TEST_F(Composite, FillStoresTheColourInsideTheBufferOnly) {
  std::vector<DUPixel> buf(5 * 4, 0x11111111);
  DUPixel colour = DUColorMake(1, 2, 3, 200);
  EXPECT_EQ(DUFillBufferRect(colour, buf.data(), {4, 5}, DURect{-2, 2, 9, 4}), EFI_SUCCESS);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(buf[y * 5 + x], (x < 2 && y >= 2) ? colour : 0x11111111u) << x << "," << y;
  }
  EXPECT_EQ(DUFillBufferRect(colour, buf.data(), {4, 5}, DURect{7, 0, 3, 3}), EFI_SUCCESS);
  EXPECT_EQ(DUFillBufferRect(colour, nullptr, {4, 5}, DURect{0, 0, 3, 3}), EFI_INVALID_PARAMETER);
}

}  // namespace
