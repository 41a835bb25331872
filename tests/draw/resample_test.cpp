#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "draw/resample.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tests/draw/draw_test_support.h"
#include "tests/draw/reference_resample.h"

namespace {

class Resample : public ::testing::Test {
 protected:
  void TearDown() override {
    DUSetResampleFilter(kDUFilterAutomatic);
    EXPECT_EQ(TrackedAllocationCount(), 0u) << "scratch memory left behind";
  }

  std::vector<DUPixel> Run(UINT32 filter, const std::vector<DUPixel>& src, DUSize from, DUSize to) {
    std::vector<DUPixel> out(size_t(to.width) * to.height, 0x12345678);
    EXPECT_EQ(DUSetResampleFilter(filter), EFI_SUCCESS);
    EXPECT_EQ(DUResamplePixelBuffer(out.data(), src.data(), from, to), EFI_SUCCESS);
    return out;
  }

  TestFirmware fw_;
};

// Colour of nearly invisible pixels comes from tiny weights and is allowed more slack.
void ExpectClose(const std::vector<DUPixel>& ours, const std::vector<DUPixel>& ref, const char* what) {
  int bad = 0;
  for (size_t i = 0; i < ours.size() && bad < 5; ++i) {
    int t_ours = Channel(ours[i], 3), t_ref = Channel(ref[i], 3);
    bool ok = std::abs(t_ours - t_ref) <= 1;
    if (ok && t_ours < 254 && t_ref < 254) {
      int slack = t_ref <= 239 ? 1 : 3;
      for (int c = 0; c < 3; ++c) ok = ok && std::abs(int(Channel(ours[i], c)) - int(Channel(ref[i], c))) <= slack;
    }
    if (!ok) {
      ++bad;
      ADD_FAILURE() << what << " pixel " << i << ": ours " << std::hex << ours[i] << " reference " << ref[i];
    }
  }
}

TEST_F(Resample, EveryFilterMatchesTheReferenceOnRandomPictures) {
  std::mt19937 rng(8101);
  const DUSize pairs[][2] = {
      {{24, 32}, {12, 16}},  // halving
      {{16, 20}, {40, 50}},  // enlarging by 2.5
      {{30, 17}, {7, 45}},   // shrinking one way, growing the other
      {{9, 13}, {9, 13}},    // same size
      {{1, 1}, {5, 3}},      // a single pixel
      {{50, 3}, {1, 1}},     // down to one pixel
      {{21, 37}, {16, 29}},  // an uneven ratio
  };
  for (UINT32 filter = kDUFilterNearest; filter < kDUFilterCount; ++filter) {
    for (auto& pair : pairs) {
      DUSize from = pair[0], to = pair[1];
      auto src = RandomPicture(rng, from.width, from.height);
      auto ours = Run(filter, src, from, to);
      auto ref = reference::Resample(int(filter), src, from.width, from.height, to.width, to.height);
      std::string what = "filter " + std::to_string(filter) + " " + std::to_string(from.width) + "x" +
                         std::to_string(from.height) + "->" + std::to_string(to.width) + "x" + std::to_string(to.height);
      if (filter == kDUFilterNearest) {
        EXPECT_EQ(ours, ref) << what;
      } else {
        ExpectClose(ours, ref, what.c_str());
      }
    }
  }
}

TEST_F(Resample, AutomaticChoiceIsBoxWhenShrinkingAndCatmullRomWhenEitherSideGrows) {
  std::mt19937 rng(2);
  DUSize from{100, 100};
  auto src = RandomPicture(rng, 100, 100);
  struct Case {
    DUSize to;
    UINT32 expected;
  } cases[] = {{{50, 50}, kDUFilterBox}, {{200, 200}, kDUFilterCatmullRom}, {{200, 100}, kDUFilterCatmullRom},
               {{50, 120}, kDUFilterCatmullRom}};
  for (const Case& c : cases) {
    EXPECT_EQ(Run(kDUFilterAutomatic, src, from, c.to), Run(c.expected, src, from, c.to))
        << c.to.width << "x" << c.to.height;
  }
}

TEST_F(Resample, UniformPicturesStayUniformAtEveryTransparency) {
  const DUPixel colours[] = {DUColorMake(200, 40, 7, 0), DUColorMake(255, 255, 255, 128), DUColorMake(9, 90, 190, 254)};
  for (UINT32 filter = kDUFilterNearest; filter < kDUFilterCount; ++filter) {
    for (DUPixel colour : colours) {
      std::vector<DUPixel> src(37 * 23, colour);
      for (DUSize to : {DUSize{11, 5}, DUSize{70, 99}, DUSize{23, 37}}) {
        auto out = Run(filter, src, DUSize{23, 37}, to);
        for (DUPixel p : out) ASSERT_EQ(p, colour) << "filter " << filter;
      }
    }
  }
}

TEST_F(Resample, TransparentPixelsLendNoColour) {
  // A red opaque half beside a fully transparent green half: every visible output pixel is red.
  std::vector<DUPixel> src(8 * 8);
  for (int i = 0; i < 64; ++i) src[i] = i % 8 < 4 ? DUColorMake(255, 0, 0, 0) : DUColorMake(0, 255, 0, 255);
  for (UINT32 filter : {kDUFilterBox, kDUFilterTriangle, kDUFilterMitchell}) {
    auto out = Run(filter, src, DUSize{8, 8}, DUSize{13, 13});
    bool softened = false;
    for (DUPixel p : out) {
      if (Channel(p, 3) == 255) {
        EXPECT_EQ(p, 0xFF000000u);
        continue;
      }
      softened |= Channel(p, 3) != 0;
      EXPECT_EQ(p & 0xFFFFFF, 0xFF0000u) << "filter " << filter << std::hex << " " << p;
    }
    if (filter != kDUFilterBox) {
      EXPECT_TRUE(softened) << "filter " << filter;
    }
  }
}

TEST_F(Resample, RefusesMissingBuffersEmptySizesAndUnknownFilters) {
  DUPixel src[4] = {}, dst[4] = {};
  EXPECT_EQ(DUResamplePixelBuffer(dst, src, DUSize{2, 2}, DUSize{0, 2}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUResamplePixelBuffer(dst, src, DUSize{2, 2}, DUSize{2, 0}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUResamplePixelBuffer(dst, src, DUSize{-1, 2}, DUSize{2, 2}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUResamplePixelBuffer(nullptr, src, DUSize{2, 2}, DUSize{2, 2}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUResamplePixelBuffer(dst, nullptr, DUSize{2, 2}, DUSize{2, 2}), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUSetResampleFilter(8), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUResampleFilterChoice(), kDUFilterAutomatic);
}

TEST_F(Resample, ScratchMemoryFailureIsReportedAndNothingIsWritten) {
  std::vector<DUPixel> src(16 * 16, DUColorMake(1, 2, 3, 0)), out(8 * 8, 0xAAAAAAAA);
  for (int n = 1; n <= 8; ++n) {
    fw_.FailNthPoolAllocation(n);
    EFI_STATUS status = DUResamplePixelBuffer(out.data(), src.data(), DUSize{16, 16}, DUSize{8, 8});
    if (status == EFI_SUCCESS) {
      fw_.FailNthPoolAllocation(0);
      break;
    }
    EXPECT_EQ(status, EFI_OUT_OF_RESOURCES);
    EXPECT_EQ(out, std::vector<DUPixel>(8 * 8, 0xAAAAAAAA));
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
}

}  // namespace
