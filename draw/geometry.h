// Points, sizes, rectangles and pixels of the drawing layer. All coordinates are signed
// 32-bit; a rectangle with a zero or negative side is empty.
#pragma once

#include "efi/types.h"

struct DUPoint {
  INT32 x;
  INT32 y;
};

struct DUSize {
  INT32 height;
  INT32 width;
};

struct DURect {
  INT32 x;
  INT32 y;
  INT32 height;
  INT32 width;
};

// A pixel in memory: bytes blue, green, red, transparency (0 opaque, 255 fully transparent).
typedef UINT32 DUPixel;

constexpr DUPixel DUColorMake(UINT8 red, UINT8 green, UINT8 blue, UINT8 transparency) {
  return DUPixel(blue) | (DUPixel(green) << 8) | (DUPixel(red) << 16) | (DUPixel(transparency) << 24);
}
constexpr UINT8 DUPixelTransparency(DUPixel pixel) { return UINT8(pixel >> 24); }

constexpr DURect DURectMake(INT32 x, INT32 y, INT32 height, INT32 width) { return DURect{x, y, height, width}; }
constexpr bool DURectIsEmpty(const DURect& rect) { return rect.width <= 0 || rect.height <= 0; }
constexpr bool DURectEqual(const DURect& a, const DURect& b) {
  return a.x == b.x && a.y == b.y && a.height == b.height && a.width == b.width;
}

// x >= r.x, y >= r.y, x < r.x + width, y < r.y + height.
bool DUPointInRect(DUPoint point, const DURect& rect);

// The common part of a and b. EFI_INVALID_PARAMETER when either has a non-positive side,
// EFI_NOT_FOUND when they do not overlap (touching edges do not overlap).
EFI_STATUS DURectIntersection(const DURect& a, const DURect& b, DURect* out);

// The smallest rectangle holding both; an empty input yields the other one.
void DURectUnion(const DURect& a, const DURect& b, DURect* out);

// A rectangle of the given size centred in container: origin = centre minus half the size.
void DURectCenterInRect(DUSize size, const DURect& container, DURect* out);

// Anchor points, clockwise from the top-left corner.
enum DUAnchor : UINT32 {
  kDUAnchorTopLeft = 0,
  kDUAnchorTopCenter = 1,
  kDUAnchorTopRight = 2,
  kDUAnchorRightMiddle = 3,
  kDUAnchorBottomRight = 4,
  kDUAnchorBottomCenter = 5,
  kDUAnchorBottomLeft = 6,
  kDUAnchorLeftMiddle = 7,
};

// The anchor point of rect (halves are integer divisions). EFI_INVALID_PARAMETER for an
// anchor above 7.
EFI_STATUS DURectAnchorPoint(const DURect& rect, UINT32 anchor, DUPoint* out);
