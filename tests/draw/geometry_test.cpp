#include <gtest/gtest.h>

#include "draw/fixed_point.h"
#include "draw/geometry.h"

namespace {

TEST(Geometry, PointInRectIncludesTheTopLeftEdgesOnly) {
  DURect r = DURectMake(10, 20, 5, 4);  // x, y, height, width
  EXPECT_TRUE(DUPointInRect({10, 20}, r));
  EXPECT_TRUE(DUPointInRect({13, 24}, r));
  EXPECT_FALSE(DUPointInRect({14, 20}, r));
  EXPECT_FALSE(DUPointInRect({10, 25}, r));
  EXPECT_FALSE(DUPointInRect({9, 22}, r));
}

TEST(Geometry, IntersectionOfOverlappingTouchingAndEmptyRectangles) {
  DURect out{};
  ASSERT_EQ(DURectIntersection({0, 0, 10, 10}, {5, -3, 5, 20}, &out), EFI_SUCCESS);
  EXPECT_TRUE(DURectEqual(out, DURect{5, 0, 2, 5}));
  EXPECT_EQ(DURectIntersection({0, 0, 10, 10}, {10, 0, 10, 10}, &out), EFI_NOT_FOUND) << "touching at an edge";
  EXPECT_EQ(DURectIntersection({0, 0, 10, 10}, {0, 10, 10, 10}, &out), EFI_NOT_FOUND);
  EXPECT_EQ(DURectIntersection({0, 0, 0, 10}, {0, 0, 10, 10}, &out), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DURectIntersection({0, 0, 10, 10}, {0, 0, 10, -1}, &out), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DURectIntersection({0x7FFFFFF0, 0, 10, 0x7FFFFFFF}, {0, 0, 10, 0x7FFFFFFF}, &out), EFI_SUCCESS)
      << "sides far out do not overflow";
  EXPECT_EQ(out.width, 0xF);
}

TEST(Geometry, UnionSkipsEmptyRectangles) {
  DURect out{};
  DURectUnion({0, 0, 0, 0}, {3, 4, 5, 6}, &out);
  EXPECT_TRUE(DURectEqual(out, DURect{3, 4, 5, 6}));
  DURectUnion({3, 4, 5, 6}, {100, 100, -1, 5}, &out);
  EXPECT_TRUE(DURectEqual(out, DURect{3, 4, 5, 6}));
  DURectUnion({3, 4, 5, 6}, {-1, 10, 2, 2}, &out);
  EXPECT_TRUE(DURectEqual(out, DURect{-1, 4, 8, 10}));
}

TEST(Geometry, CentreAndAnchorsUseIntegerHalves) {
  DURect out{};
  DURectCenterInRect({3, 5}, {10, 20, 10, 11}, &out);
  EXPECT_TRUE(DURectEqual(out, DURect{10 + 5 - 2, 20 + 5 - 1, 3, 5}));
  DURect r{10, 20, 7, 5};
  const DUPoint expected[8] = {{10, 20}, {12, 20}, {15, 20}, {15, 23}, {15, 27}, {12, 27}, {10, 27}, {10, 23}};
  for (UINT32 a = 0; a < 8; ++a) {
    DUPoint p{};
    ASSERT_EQ(DURectAnchorPoint(r, a, &p), EFI_SUCCESS);
    EXPECT_EQ(p.x, expected[a].x) << a;
    EXPECT_EQ(p.y, expected[a].y) << a;
  }
  DUPoint p{};
  EXPECT_EQ(DURectAnchorPoint(r, 8, &p), EFI_INVALID_PARAMETER);
}

TEST(Geometry, ColourBytesAreBlueGreenRedTransparency) {
  EXPECT_EQ(DUColorMake(0x11, 0x22, 0x33, 0x44), 0x44112233u);
  EXPECT_EQ(DUColorMake(100, 100, 100, 235), 0xEB646464u);
}

TEST(FixedPoint, RoundsTowardZeroAndRestoresTheSign) {
  EXPECT_EQ(DUFixedFromInt(3), 0x30000);
  EXPECT_EQ(DUFixedFromInt(-2), -0x20000);
  EXPECT_EQ(DUFixedToInt(0x2FFFF), 2);
  EXPECT_EQ(DUFixedToInt(-0x2FFFF), -2);
  EXPECT_EQ(DUFixedMul(0x18000, 0x18000), 0x24000);  // 1.5 x 1.5
  EXPECT_EQ(DUFixedMul(-0x18000, 0x18000), -0x24000);
  EXPECT_EQ(DUFixedMul(-1, 1), 0) << "magnitudes first: -(1 x 1 >> 16)";
  EXPECT_EQ(DUFixedDiv(DUFixedFromInt(1), DUFixedFromInt(3)), 0x5555);
  EXPECT_EQ(DUFixedDiv(DUFixedFromInt(-1), DUFixedFromInt(3)), -0x5555);
  EXPECT_EQ(DUFixedDiv(DUFixedFromInt(5), 0), -1);
  EXPECT_EQ(DUFixedMulInt(0x8000, 7), 0x38000);
  EXPECT_EQ(DUFixedDivInt(DUFixedFromInt(9), 4), 0x24000);
  EXPECT_EQ(DUFixedRatio(1920, 1080), 0x1C71C);
}

}  // namespace
