#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

#include "hw/fake/hw_fake.h"
#include "kernel/adler32.h"
#include "testfw/test_firmware.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = uint8_t(rng());
  return v;
}

uint32_t ZlibAdler(const uint8_t* p, size_t n) { return uint32_t(adler32(adler32(0, nullptr, 0), p, uInt(n))); }

void UseVectorPath(bool on) { HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxSsse3, on); }

TEST(Adler32, ScalarAndVectorAgreeOnEveryShortLengthAndAlignment) {
  TestFirmware fw;
  std::vector<uint8_t> data = RandomBytes(300 + 16, 7);
  std::mt19937 rng(11);
  for (size_t length = 0; length <= 300; ++length) {
    size_t offset = rng() % 16;
    const uint8_t* p = data.data() + offset;
    UseVectorPath(false);
    uint32_t scalar = CalculateAdler32(p, length);
    UseVectorPath(true);
    uint32_t vector = CalculateAdler32(p, length);
    ASSERT_EQ(scalar, vector) << "length " << length << " offset " << offset;
    ASSERT_EQ(scalar, ZlibAdler(p, length)) << "length " << length;
  }
}

// Large inputs cross many fold points; all-0xFF data drives the sums to their largest.
TEST(Adler32, MatchesZlibOnLargeAndWorstCaseInputs) {
  TestFirmware fw;
  std::vector<std::vector<uint8_t>> inputs = {RandomBytes(1 << 20, 3), std::vector<uint8_t>(200000, 0xFF),
                                              std::vector<uint8_t>(5552 * 3 + 17, 0xFF)};
  for (const auto& input : inputs) {
    for (size_t offset : {0, 1, 9, 15}) {
      const uint8_t* p = input.data() + offset;
      size_t n = input.size() - offset;
      for (bool vector : {false, true}) {
        UseVectorPath(vector);
        EXPECT_EQ(CalculateAdler32(p, n), ZlibAdler(p, n)) << "size " << n << " vector " << vector;
      }
    }
  }
}

// A stream fed in uneven pieces gives the value of the whole, on either path.
TEST(Adler32, PiecesGiveTheValueOfTheWhole) {
  TestFirmware fw;
  std::vector<uint8_t> data = RandomBytes(300000, 5);
  std::vector<uint8_t> ones(70000, 0xFF);
  data.insert(data.end(), ones.begin(), ones.end());
  for (bool vector : {false, true}) {
    UseVectorPath(vector);
    std::mt19937 rng(vector ? 2 : 1);
    Adler32Running running = StartAdler32();
    size_t at = 0;
    while (at < data.size()) {
      size_t n = std::min<size_t>(data.size() - at, rng() % 9000);
      UpdateAdler32(&running, data.data() + at, n);
      at += n;
    }
    EXPECT_EQ(running.value, ZlibAdler(data.data(), data.size())) << "vector " << vector;
  }
}

TEST(Adler32, KnownValues) {
  TestFirmware fw;
  EXPECT_EQ(CalculateAdler32(nullptr, 0), 1u);
  EXPECT_EQ(CalculateAdler32("Wikipedia", 9), 0x11E60398u);
}

}  // namespace
