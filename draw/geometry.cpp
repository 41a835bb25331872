#include "draw/geometry.h"

namespace {

INT64 Min(INT64 a, INT64 b) { return a < b ? a : b; }
INT64 Max(INT64 a, INT64 b) { return a > b ? a : b; }

// Sides of a union of far-apart rectangles can exceed 32 bits; they are held at the limit.
INT32 Side(INT64 length) { return length > 0x7FFFFFFF ? 0x7FFFFFFF : INT32(length); }

}  // namespace

bool DUPointInRect(DUPoint point, const DURect& rect) {
  return point.x >= rect.x && point.y >= rect.y && INT64(point.x) < INT64(rect.x) + rect.width &&
         INT64(point.y) < INT64(rect.y) + rect.height;
}

EFI_STATUS DURectIntersection(const DURect& a, const DURect& b, DURect* out) {
  if (!out || DURectIsEmpty(a) || DURectIsEmpty(b)) return EFI_INVALID_PARAMETER;
  INT64 left = Max(a.x, b.x), top = Max(a.y, b.y);
  INT64 right = Min(INT64(a.x) + a.width, INT64(b.x) + b.width);
  INT64 bottom = Min(INT64(a.y) + a.height, INT64(b.y) + b.height);
  if (right <= left || bottom <= top) return EFI_NOT_FOUND;
  *out = DURect{INT32(left), INT32(top), INT32(bottom - top), INT32(right - left)};
  return EFI_SUCCESS;
}

void DURectUnion(const DURect& a, const DURect& b, DURect* out) {
  if (DURectIsEmpty(a)) {
    *out = b;
    return;
  }
  if (DURectIsEmpty(b)) {
    *out = a;
    return;
  }
  INT64 left = Min(a.x, b.x), top = Min(a.y, b.y);
  INT64 right = Max(INT64(a.x) + a.width, INT64(b.x) + b.width);
  INT64 bottom = Max(INT64(a.y) + a.height, INT64(b.y) + b.height);
  *out = DURect{INT32(left), INT32(top), Side(bottom - top), Side(right - left)};
}

void DURectCenterInRect(DUSize size, const DURect& container, DURect* out) {
  *out = DURect{INT32(INT64(container.x) + container.width / 2 - size.width / 2),
                INT32(INT64(container.y) + container.height / 2 - size.height / 2), size.height, size.width};
}

EFI_STATUS DURectAnchorPoint(const DURect& rect, UINT32 anchor, DUPoint* out) {
  if (!out) return EFI_INVALID_PARAMETER;
  // Wide arithmetic: a frame at the edge of the coordinate range must not overflow.
  INT32 left = rect.x, centre = INT32(INT64(rect.x) + rect.width / 2), right = INT32(INT64(rect.x) + rect.width);
  INT32 top = rect.y, middle = INT32(INT64(rect.y) + rect.height / 2), bottom = INT32(INT64(rect.y) + rect.height);
  switch (anchor) {
    case kDUAnchorTopLeft: *out = DUPoint{left, top}; break;
    case kDUAnchorTopCenter: *out = DUPoint{centre, top}; break;
    case kDUAnchorTopRight: *out = DUPoint{right, top}; break;
    case kDUAnchorRightMiddle: *out = DUPoint{right, middle}; break;
    case kDUAnchorBottomRight: *out = DUPoint{right, bottom}; break;
    case kDUAnchorBottomCenter: *out = DUPoint{centre, bottom}; break;
    case kDUAnchorBottomLeft: *out = DUPoint{left, bottom}; break;
    case kDUAnchorLeftMiddle: *out = DUPoint{left, middle}; break;
    default: return EFI_INVALID_PARAMETER;
  }
  return EFI_SUCCESS;
}
