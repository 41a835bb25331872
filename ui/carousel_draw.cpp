// The carousel's geometry and its one drawing routine.
#include "draw/display.h"
#include "draw/fixed_point.h"
#include "draw/log_error.h"
#include "ui/carousel.h"

namespace {

constexpr DUPixel kClearWhite = 0xFFFFFFFF;
constexpr DUPixel kClearBlack = 0xFF000000;

INT32 Scale() { return INT32(DUScaleFactor()); }
INT32 Pitch(const UICarouselState* s) { return s->info.tileWidth + s->info.spacing; }
INT32 Min(INT32 a, INT32 b) { return a < b ? a : b; }

bool ValidIndex(const UICarouselState* s, INT32 index) { return index >= 0 && index < s->info.tileCount; }

}  // namespace

DURect UICarouselListRect(UICarouselState* s, const DUView* view) {
  if (!s->listRectValid) {
    INT32 shown = Min(s->info.visibleCount, s->info.tileCount);
    INT32 width = Pitch(s) * (shown + 1);
    s->listRect.width = width;
    s->listRect.x = (view->frame.width - width) / 2;
    s->listRect.y = view->frame.height / 2 - s->info.tileHeight / 2;
    s->listRect.height = s->info.tileHeight;
    s->listRectValid = TRUE;
  }
  return s->listRect;
}

DURect UICarouselCenterRect(UICarouselState* s, const DUView* view) {
  DURect list = UICarouselListRect(s, view);
  return DURectMake(list.x + list.width / 2 - s->info.tileWidth / 2, list.y + list.height / 2 - s->info.tileHeight / 2,
                    s->info.tileHeight, s->info.tileWidth);
}

DURect UICarouselRestRect(UICarouselState* s, const DUView* view, INT32 index) {
  if (!ValidIndex(s, index)) {
    DULogError("_rectForListTileAtIndex", "tile index (%d) out of bounds [0..%d]", index, s->info.tileCount - 1);
    return DURectMake(0, 0, 0, 0);
  }
  DURect list = UICarouselListRect(s, view);
  return DURectMake(list.x + s->info.tileWidth / 2 + s->info.spacing + Pitch(s) * index + s->scrollOffset, list.y,
                    s->info.tileHeight, s->info.tileWidth);
}

INT32 UICarouselMinimumOffset(UICarouselState* s) {
  if (s->minimumOffset == 0) s->minimumOffset = -Pitch(s) * (s->info.tileCount - s->info.visibleCount);
  return s->minimumOffset;
}

bool UICarouselCanScrollForward(UICarouselState* s) {
  return s->info.tileCount > s->info.visibleCount && s->scrollOffset > UICarouselMinimumOffset(s);
}

bool UICarouselCanScrollBack(UICarouselState* s) {
  return s->info.tileCount > s->info.visibleCount && s->scrollOffset < 0;
}

namespace {

DURect ArrowRect(UICarouselState* s, const DUView* view, bool next) {
  DURect list = UICarouselListRect(s, view);
  INT32 scale = Scale();
  INT32 d = 10 * scale;
  INT32 middle = list.y + list.height / 2 - 31 * scale;
  DUSize a = next ? s->info.goNextImageSize : s->info.goPrevImageSize;
  INT32 x = next ? list.x + list.width + 32 * scale - d : list.x - 32 * scale - a.width - d;
  return DURectMake(x, middle - d, a.height + 2 * d, a.width + 2 * d);
}

}  // namespace

DURect UICarouselPrevArrowRect(UICarouselState* s, const DUView* view) { return ArrowRect(s, view, false); }
DURect UICarouselNextArrowRect(UICarouselState* s, const DUView* view) { return ArrowRect(s, view, true); }

INT32 UICarouselTileAtPoint(UICarouselState* s, const DUView* view, DUPoint point) {
  DURect list = UICarouselListRect(s, view);
  if (point.x < list.x || point.x > list.x + list.width) return -1;
  INT32 numerator = point.x - list.x - s->scrollOffset - s->info.tileWidth / 2 - s->info.spacing;
  if (numerator < 0 || Pitch(s) <= 0) return -1;
  INT32 k = numerator / Pitch(s);
  if (!ValidIndex(s, k)) return -1;
  return DUPointInRect(point, UICarouselRestRect(s, view, k)) ? k : -1;
}

UINT8 UICarouselTileAlpha(INT32 op, INT32 f, INT32 n) {
  if (n < 1) return 0;
  if (f < 0) f = 0;
  if (f > n) f = n;
  INT32 rising = 255 * f / n;
  switch (op) {
    case DrawTilesList:
      DULogError("_tileAlphaForDrawOperation", "Inconsitency (numOfFrames > 0) but drawOperation is DrawTilesList");
      return 0;
    case DrawCenterTile:
      return 0;
    case DrawSelectInPlace:
    case DrawListFadeOut:
    case DrawSelectedFadeOut:
      return UINT8(rising);
    case DrawDeselectInPlace:
    case DrawListFadeIn:
    case DrawSelectedFadeIn:
      return UINT8(255 - rising);
    default:
      DULogError("_tileAlphaForDrawOperation", "Unknown drawOperation");
      return 0;
  }
}

namespace {

bool CentreRelative(INT32 op) { return op == DrawCenterTile || op == DrawSelectedFadeIn || op == DrawSelectedFadeOut; }

// Every tile keeps its place relative to the selected one, which sits on the centre.
DURect CentreRelativeRect(UICarouselState* s, const DUView* view, INT32 index) {
  DURect rest = UICarouselRestRect(s, view, index);
  if (!ValidIndex(s, s->selectedIndex)) return rest;
  DURect centre = UICarouselCenterRect(s, view);
  if (index == s->selectedIndex) return centre;
  rest.x += centre.x - UICarouselRestRect(s, view, s->selectedIndex).x;
  return rest;
}

DURect MovingRect(UICarouselState* s, const DUView* view, INT32 index, INT32 f, INT32 n) {
  if (f > n) {
    DULogError("_rectForMovingTileAtIndex", "impossible to have (frame_i > numOfFrames)");
    return DURectMake(0, 0, 0, 0);
  }
  DURect rest = UICarouselRestRect(s, view, index);
  if (f == n || n < 1) return rest;
  DURect start = CentreRelativeRect(s, view, index);
  DUFixed progress = DUFixedRatio(f, n);
  start.x += DUFixedToInt(DUFixedMulInt(progress, rest.x - start.x));
  return start;
}

DURect TileRect(UICarouselState* s, const DUView* view, INT32 index, INT32 op, INT32 f, INT32 n) {
  if (op == DrawDeselectInPlace) return MovingRect(s, view, index, f, n);
  if (CentreRelative(op)) return CentreRelativeRect(s, view, index);
  return UICarouselRestRect(s, view, index);
}

void DrawTileBuffer(DUView* view, const DUPixel* buffer, const DURect& rect, UINT8 alpha) {
  if (!buffer) {
    DULogError("_UICarouselViewDrawTileBufferWithRect", "tilePixelBuffer is NULL");
    return;
  }
  EFI_STATUS status = DUCompositePixelBuffers(view->pixels, view->content_size, nullptr, buffer,
                                              DUSize{rect.height, rect.width}, DUPoint{rect.x, rect.y}, alpha, nullptr);
  if (status != EFI_SUCCESS && status != EFI_NOT_FOUND) {
    DULogError("_UICarouselViewDrawTileBufferWithRect", "%s DUCompositePixelBuffers failed with err: %d",
               "_UICarouselViewDrawTileBufferWithRect", INT32(status));
  }
}

UINT32 TileBufferIndex(UICarouselState* s, INT32 index, INT32 op, INT32 f, INT32 n) {
  bool selected = index == s->selectedIndex;
  bool pressed_inside = s->centerPressed && s->centerInside;
  // The tile shown at the centre always wears its selected picture, pressed while the
  // pointer holds it down.
  if (selected && ((op == DrawSelectInPlace && f >= n / 2) || CentreRelative(op))) {
    return pressed_inside ? kUICarouselTileSelectedPressed : kUICarouselTileSelected;
  }
  bool pressed = op == DrawTilesList && s->tracking == kUICarouselTrackingTile && selected;
  if (index == s->keyboardIndex && !CentreRelative(op)) {
    return pressed ? kUICarouselTileKeyboardPressed : kUICarouselTileKeyboard;
  }
  return pressed ? kUICarouselTilePressed : kUICarouselTileNormal;
}

void DrawTile(DUView* view, UICarouselState* s, INT32 index, INT32 op, INT32 f, INT32 n) {
  DURect rect = TileRect(s, view, index, op, f, n);
  if (DURectIsEmpty(rect)) return;
  DURect list = UICarouselListRect(s, view);
  INT32 right = rect.x + rect.width;
  bool left_in = rect.x >= list.x && rect.x <= list.x + list.width;
  bool right_in = right >= list.x && right <= list.x + list.width;
  if (!left_in && !right_in) return;
  const DUPixel* const* buffers = s->info.tiles[index];
  UINT8 alpha = UICarouselTileAlpha(op, f, n);
  (void)DUFillBufferRect(kClearBlack, view->pixels, view->content_size, rect);  // the pixels exist
  DrawTileBuffer(view, buffers[TileBufferIndex(s, index, op, f, n)], rect, alpha);
  if (op <= DrawDeselectInPlace && n >= 1 && index == s->selectedIndex) {
    DrawTileBuffer(view, buffers[kUICarouselTileSelected], rect, 0);
  }
}

void DrawPicture(DUView* view, const DUPixel* picture, DUSize size, DUPoint at, UINT8 alpha, const char* failure) {
  EFI_STATUS status =
      DUCompositePixelBuffers(view->pixels, view->content_size, nullptr, picture, size, at, alpha, nullptr);
  if (status != EFI_SUCCESS && status != EFI_NOT_FOUND) DULogError("_UICarouselViewDrawMagicPocketsIfNeeded", failure);
}

void DrawPocketsAndArrows(DUView* view, UICarouselState* s, UINT8 alpha) {
  DURect list = UICarouselListRect(s, view);
  bool back = UICarouselCanScrollBack(s);
  bool forward = UICarouselCanScrollForward(s);
  const UICarouselMagicPockets& p = s->pockets;
  if (back && p.leftImage) {
    DUPoint at{list.x, list.y + p.leftSize.height / 2 - list.height / 2 + 20};
    DrawPicture(view, p.leftImage, p.leftSize, at, alpha, "failure to draw left magic pocket");
  }
  if (forward && p.rightImage) {
    DUPoint at{list.x + list.width - p.rightSize.width, list.y + p.rightSize.height / 2 - list.height / 2 + 20};
    DrawPicture(view, p.rightImage, p.rightSize, at, alpha, "failure to draw right magic pocket");
  }
  if (s->state != UICarouselViewListState) return;
  struct Arrow {
    bool wanted;
    const DUPixel* up;
    const DUPixel* down;
    DUSize size;
    INT32 pressed_tracking;
    DURect rect;
    const char* missing;
  } arrows[2] = {
      {back, s->info.goPrevUpImage, s->info.goPrevDownImage, s->info.goPrevImageSize, kUICarouselTrackingPrevArrow,
       UICarouselPrevArrowRect(s, view), "tilesInfo->goPrevUpImage is NULL"},
      {forward, s->info.goNextUpImage, s->info.goNextDownImage, s->info.goNextImageSize, kUICarouselTrackingNextArrow,
       UICarouselNextArrowRect(s, view), "tilesInfo->goNextUpImage is NULL"},
  };
  for (const Arrow& a : arrows) {
    if (!a.wanted) continue;
    if (!a.up) {
      DULogError("_UICarouselViewDrawArrowsIfNeeded", a.missing);
      continue;
    }
    const DUPixel* picture = (s->tracking == a.pressed_tracking && a.down) ? a.down : a.up;
    DURect at;
    DURectCenterInRect(a.size, a.rect, &at);
    EFI_STATUS status = DUCompositePixelBuffers(view->pixels, view->content_size, nullptr, picture, a.size,
                                                DUPoint{at.x, at.y}, alpha, nullptr);
    if (status != EFI_SUCCESS && status != EFI_NOT_FOUND) {
      DULogError("_UICarouselViewDrawArrowsIfNeeded", "DUCompositePixelBuffers failed with err: %d", INT32(status));
    }
  }
}

}  // namespace

void UICarouselDraw(DUView* view, INT32 op, INT32 f, INT32 n) {
  UICarouselState* s = UICarouselViewState(view);
  if (!s || !view->pixels) return;
  if (op < 0 || op > DrawSelectedFadeOut) {
    DULogError("_UICarouselViewDraw", "Unknown drawOperation: %d", op);
    return;
  }
  DURect whole = DURectMake(0, 0, view->content_size.height, view->content_size.width);
  (void)DUFillBufferRect(kClearWhite, view->pixels, view->content_size, whole);  // the pixels exist
  INT32 count = s->info.tileCount;
  bool selected_valid = ValidIndex(s, s->selectedIndex);
  if (op == DrawListFadeIn || op == DrawListFadeOut) {
    for (INT32 i = 0; i < count; ++i) DrawTile(view, s, i, op, f, n);
  } else if (op == DrawSelectedFadeIn || op == DrawSelectedFadeOut) {
    if (selected_valid) DrawTile(view, s, s->selectedIndex, op, f, n);
  } else {
    INT32 p = selected_valid ? s->selectedIndex : count;
    if (!((op == DrawCenterTile || op == DrawSelectInPlace) && n == 0)) {
      // Tiles nearer the selected one come later and overlap the farther ones.
      for (INT32 i = 0; i < p; ++i) DrawTile(view, s, i, op, f, n);
      for (INT32 i = count - 1; i > p; --i) DrawTile(view, s, i, op, f, n);
    }
    if (selected_valid) DrawTile(view, s, s->selectedIndex, op, f, n);
  }
  DURect list = UICarouselListRect(s, view);
  (void)DUFillBufferRect(kClearWhite, view->pixels, view->content_size, DURectMake(0, 0, whole.height, list.x));
  INT32 right = list.x + list.width;
  (void)DUFillBufferRect(kClearWhite, view->pixels, view->content_size,
                         DURectMake(right, 0, whole.height, whole.width - right));
  if (op == DrawTilesList || op == DrawDeselectInPlace || op == DrawListFadeIn || op == DrawListFadeOut) {
    DrawPocketsAndArrows(view, s, UICarouselTileAlpha(op, f, n));
  }
  (void)DUViewSetNeedsDisplay(view);  // a live view
}
