// The carousel's life, paging, selection and keyboard highlight.
#include "ui/carousel.h"

#include "draw/display.h"
#include "draw/fixed_point.h"
#include "draw/log_error.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "ui/responders.h"
#include "ui/run_loop_screen.h"

namespace {

INT32 Scale() { return INT32(DUScaleFactor()); }
INT32 Pitch(const UICarouselState* s) { return s->info.tileWidth + s->info.spacing; }
INT32 Min(INT32 a, INT32 b) { return a < b ? a : b; }

void DrawScreen(DUView* view) {
  if (view->screen) (void)DUScreenDraw(view->screen);  // a failed transfer shows up in the next one
}

void Redraw(DUView* view, INT32 op, INT32 f, INT32 n) {
  UICarouselDraw(view, op, f, n);
  DrawScreen(view);
}

void DestroyState(DUView* view) {
  auto* s = static_cast<UICarouselState*>(view->user_data);
  if (!s) return;
  if (s->info.tiles) PoolFree(const_cast<UICarouselTileBuffers*>(s->info.tiles));
  PoolFree(s);
  view->user_data = nullptr;
}

UICarouselState* StateOrLog(DUView* view, const char* operation) {
  UICarouselState* s = UICarouselViewState(view);
  if (!s) DULogError(operation, "carouselView is NULL");
  return s;
}

}  // namespace

UICarouselState* UICarouselViewState(DUView* view) {
  if (!view || view->callbacks.destroy != DestroyState) return nullptr;
  return static_cast<UICarouselState*>(view->user_data);
}

UINTN UICarouselViewCreate(DUView** out_view, const UICarouselTilesInfo* info, const UICarouselMagicPockets* pockets) {
  if (!out_view) {
    DULogError("UICarouselViewCreate", "No carouselView given as argument");
    return 1;
  }
  *out_view = nullptr;
  if (!info) {
    DULogError("UICarouselViewCreate", "No info given as argument");
    return 1;
  }
  if (info->tileCount < 0 || info->visibleCount < 1 || info->tileWidth < 1 || info->tileHeight < 1 ||
      info->spacing < 0 || (info->tileCount > 0 && !info->tiles)) {
    DULogError("UICarouselViewCreate", "invalid tiles information");
    return 1;
  }
  INT32 scale = Scale();
  INT64 width = 200 * INT64(scale) + INT64(info->tileWidth + info->spacing) * (info->visibleCount + 1);
  if (width > 0x7FFF) {
    DULogError("UICarouselViewCreate", "invalid tiles information");
    return 1;
  }
  DURect frame = DURectMake(0, 0, 160 * scale, INT32(width));
  auto* s = static_cast<UICarouselState*>(PoolAllocateZero(sizeof(UICarouselState)));
  UICarouselTileBuffers* tiles = nullptr;
  if (s && info->tileCount > 0) {
    tiles = static_cast<UICarouselTileBuffers*>(PoolAllocateZero(sizeof(UICarouselTileBuffers) * UINTN(info->tileCount)));
  }
  if (!s || (info->tileCount > 0 && !tiles)) {
    PoolFree(s);
    DULogError("UICarouselViewCreate", "out of memory");
    return 1;
  }
  s->info = *info;
  if (tiles) MemCopy(tiles, info->tiles, sizeof(UICarouselTileBuffers) * UINTN(info->tileCount));
  s->info.tiles = tiles;
  if (pockets) s->pockets = *pockets;
  s->selectedIndex = -1;
  s->keyboardIndex = -1;
  DUView* view = nullptr;
  if (DUViewCreate(frame, &view) != EFI_SUCCESS) {
    if (tiles) PoolFree(tiles);
    PoolFree(s);
    DULogError("UICarouselViewCreate", "DUViewCreate failed");
    return 1;
  }
  if (DUViewSetFrame(view, frame) != EFI_SUCCESS) {
    if (tiles) PoolFree(tiles);
    PoolFree(s);
    (void)DUViewDestroy(view);  // it was never added anywhere
    DULogError("UICarouselViewCreate", "DUViewSetFrame failed");
    return 1;
  }
  (void)DUViewSetCallbacks(view, nullptr, DestroyState, nullptr, s);  // a fresh view
  UICarouselDraw(view, DrawTilesList, 0, 0);
  *out_view = view;
  return 0;
}

UINTN UICarouselViewRegisterForEvents(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewRegisterForEvents");
  if (!s) return 1;
  EFI_STATUS status = DUScreenRegisterResponder(view->screen, view, kUICarouselEventMask,
                                                _UICarouselViewEventResponder_ListClicked, nullptr);
  if (status != EFI_SUCCESS) {
    DULogError("UICarouselViewRegisterForEvents", "DUScreenRegisterResponder failed with err: %d", INT32(status));
    return 1;
  }
  return 0;
}

UINTN UICarouselViewUnregisterForEvents(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewUnregisterForEvents");
  if (!s) return 1;
  EFI_STATUS status = DUScreenUnregisterResponder(view->screen, view);
  if (status != EFI_SUCCESS) {
    DULogError("UICarouselViewUnregisterForEvents", "DUScreenUnregisterResponder err:%d", INT32(status));
    return status;
  }
  return 0;
}

namespace {

void ScrollToOffset(DUView* view, UICarouselState* s, INT32 target) {
  INT32 minimum = UICarouselMinimumOffset(s);
  if (target < minimum) target = minimum;
  if (target > 0) target = 0;
  INT32 scale = Scale();
  INT32 frames = 10 * scale;
  INT32 start = s->scrollOffset;
  for (INT32 f = 1; f < frames; ++f) {
    INT32 offset = start + DUFixedToInt(DUFixedMulInt(DUFixedRatio(f, frames), target - start));
    if (offset != s->scrollOffset) {
      s->scrollOffset = offset;
      UICarouselDraw(view, DrawTilesList, 0, 0);
    }
    (void)SleepFunnel(view->screen, UINT32(1000 / (15 * scale)));  // without a timer the step just comes sooner
  }
  s->scrollOffset = target;
  Redraw(view, DrawTilesList, 0, 0);
}

UINTN Scroll(DUView* view, bool forward) {
  const char* name = forward ? "UICarouselViewScrollForward" : "UICarouselViewScrollBack";
  UICarouselState* s = StateOrLog(view, name);
  if (!s) return 1;
  if (s->state != UICarouselViewListState) {
    DULogError(name, "cannot scroll forward: (userData->state != UICarouselViewListState)");
    return 1;
  }
  if (forward ? !UICarouselCanScrollForward(s) : !UICarouselCanScrollBack(s)) return 1;
  INT32 page = Pitch(s) * s->info.visibleCount;
  ScrollToOffset(view, s, s->scrollOffset + (forward ? -page : page));
  return 0;
}

// Phase one fades the list out (or the centred tile, when going back); a tile that already
// sits at the centre needs only the one phase.
void Animate(DUView* view, UICarouselState* s, bool select) {
  INT32 scale = Scale();
  INT32 frames = 8 * scale;
  INT32 midpoint_frame = 3 * scale;
  DURect rest = UICarouselRestRect(s, view, s->selectedIndex);
  bool centred = DURectEqual(rest, UICarouselCenterRect(s, view));
  INT32 phase_one = select ? (centred ? DrawSelectInPlace : DrawListFadeOut)
                           : (centred ? DrawDeselectInPlace : DrawSelectedFadeOut);
  for (INT32 f = 1; f <= frames; ++f) {
    Redraw(view, phase_one, f, frames);
    if (phase_one == DrawSelectInPlace && f == midpoint_frame && s->info.midpoint) {
      s->info.midpoint(view, s->info.midpointContext);
    }
  }
  if (phase_one != DrawListFadeOut && phase_one != DrawSelectedFadeOut) return;
  INT32 phase_two = select ? DrawSelectedFadeIn : DrawListFadeIn;
  for (INT32 f = 1; f <= frames; ++f) {
    if (select && f == midpoint_frame && s->info.midpoint) s->info.midpoint(view, s->info.midpointContext);
    Redraw(view, phase_two, f, frames);
  }
}

}  // namespace

UINTN UICarouselViewScrollBack(DUView* view) { return Scroll(view, false); }
UINTN UICarouselViewScrollForward(DUView* view) { return Scroll(view, true); }

UINTN UICarouselViewSelectTile(DUView* view, INT32 index, BOOLEAN animate) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewSelectTile");
  if (!s) return 1;
  if (s->state == UICarouselViewSelectedState) return 0;
  if (index < 0 || index >= s->info.tileCount) {
    DULogError("UICarouselViewSelectTile", "tile index (%d) out of bounds [0..%d]", index, s->info.tileCount - 1);
    return 1;
  }
  s->selectedIndex = index;
  if (!animate || s->info.tileCount < 2) {
    Redraw(view, DrawSelectInPlace, 0, 0);
  } else {
    Animate(view, s, true);
  }
  if (s->info.didSelect) s->info.didSelect(view, s->info.didSelectContext);
  s->state = UICarouselViewSelectedState;
  return 0;
}

UINTN UICarouselViewReturnToList(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewReturnToList");
  if (!s) return 1;
  if (s->state == UICarouselViewListState) return 0;
  if (s->info.didDeselect) s->info.didDeselect(view, s->info.didDeselectContext);
  s->state = UICarouselViewListState;
  s->centerPressed = FALSE;
  s->centerInside = FALSE;
  if (s->selectedIndex >= 0 && s->selectedIndex < s->info.tileCount) Animate(view, s, false);
  s->selectedIndex = -1;
  // The last frame still shows the tile that was chosen; the list at rest replaces it.
  Redraw(view, DrawTilesList, 0, 0);
  return 0;
}

INT32 UICarouselViewSelectedIndex(DUView* view) {
  UICarouselState* s = UICarouselViewState(view);
  return s ? s->selectedIndex : -1;
}

UINTN UICarouselViewDrawCenterTile(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewDrawCenterTile");
  if (!s) return 1;
  if (s->selectedIndex < 0 || s->selectedIndex >= s->info.tileCount) {
    DULogError("UICarouselViewDrawCenterTile", "No tile is selected");
    return 1;
  }
  UICarouselDraw(view, DrawCenterTile, 0, 0);
  return 0;
}

UINTN UICarouselViewSetKeyboardSelectionIndex(DUView* view, INT32 index) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewSetKeyboardSelectionIndex");
  if (!s) return 1;
  if (index == s->keyboardIndex) return 0;
  if (index < -1 || index >= s->info.tileCount) {
    DULogError("UICarouselViewSetKeyboardSelectionIndex", "Invalid new selection %d", index);
    index = -1;
  }
  s->keyboardIndex = index;
  if (index >= 0) {
    INT32 first = s->info.tileCount > s->info.visibleCount ? -s->scrollOffset / Pitch(s) : 0;
    INT32 end = first + Min(s->info.visibleCount, s->info.tileCount);
    if (index < first) s->scrollOffset += Pitch(s) * (first - index);
    if (index >= end) s->scrollOffset -= Pitch(s) * (index + 1 - end);
  }
  Redraw(view, s->state == UICarouselViewListState ? DrawTilesList : DrawCenterTile, 0, 0);
  return 0;
}

namespace {

INT32 FirstVisible(const UICarouselState* s) {
  return s->info.tileCount > s->info.visibleCount ? -s->scrollOffset / Pitch(s) : 0;
}

}  // namespace

UINTN UICarouselViewMoveKeyboardSelectionLeft(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewMoveKeyboardSelectionLeft");
  if (!s || s->info.tileCount == 0) return 1;
  INT32 next = s->keyboardIndex <= 0 ? FirstVisible(s) : s->keyboardIndex - 1;
  return UICarouselViewSetKeyboardSelectionIndex(view, next);
}

UINTN UICarouselViewMoveKeyboardSelectionRight(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewMoveKeyboardSelectionRight");
  if (!s || s->info.tileCount == 0) return 1;
  INT32 next = s->keyboardIndex == -1 ? FirstVisible(s) : Min(s->keyboardIndex + 1, s->info.tileCount - 1);
  return UICarouselViewSetKeyboardSelectionIndex(view, next);
}

UINTN UICarouselViewActivateKeyboardSelection(DUView* view) {
  UICarouselState* s = StateOrLog(view, "UICarouselViewActivateKeyboardSelection");
  if (!s || s->keyboardIndex < 0) return 1;
  return UICarouselViewSelectTile(view, s->keyboardIndex, TRUE);
}
