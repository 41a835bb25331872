// The carousel's pointer responder and the deferred actions it starts. The responder only
// records and redraws; paging and selection, which animate, run from the run loop.
#include "draw/log_error.h"
#include "ui/carousel.h"
#include "ui/run_loop.h"

namespace {

EFI_STATUS GoNextDeferred(RunLoop*, void* context, UINTN) {
  auto* view = static_cast<DUView*>(context);
  (void)UICarouselViewScrollForward(view);  // nowhere to go is not a failure here
  if (UICarouselState* s = UICarouselViewState(view)) s->busy = FALSE;
  return 0;
}

EFI_STATUS GoPrevDeferred(RunLoop*, void* context, UINTN) {
  auto* view = static_cast<DUView*>(context);
  (void)UICarouselViewScrollBack(view);  // nowhere to go is not a failure here
  if (UICarouselState* s = UICarouselViewState(view)) s->busy = FALSE;
  return 0;
}

EFI_STATUS ClickDeferred(RunLoop*, void* context, UINTN) {
  auto* view = static_cast<DUView*>(context);
  UICarouselState* s = UICarouselViewState(view);
  if (!s) return 1;
  if (s->selectedIndex >= 0) (void)UICarouselViewSelectTile(view, s->selectedIndex, TRUE);  // logged inside
  s->busy = FALSE;
  return 0;
}

EFI_STATUS CenterTileClickedDeferred(RunLoop*, void* context, UINTN) {
  auto* view = static_cast<DUView*>(context);
  UICarouselState* s = UICarouselViewState(view);
  if (!s) return 1;
  (void)UICarouselViewReturnToList(view);  // logged inside
  s->busy = FALSE;
  return 0;
}

void Defer(DUView* view, UICarouselState* s, RunLoopFunction function, const char* name) {
  s->busy = TRUE;
  if (RunLoopExecuteDeferredFunc(function, view, 0, name) != 0) s->busy = FALSE;  // refused: logged by the loop
}

BOOLEAN SelectedStateEvent(DUView* view, UICarouselState* s, UINT64 kind, DUPoint p) {
  bool inside = DUPointInRect(p, UICarouselCenterRect(s, view));
  switch (kind) {
    case kTarnPointerMove:
      if (!s->centerPressed) return FALSE;
      if (BOOLEAN(inside) == s->centerInside) return TRUE;
      s->centerInside = inside;
      break;
    case kTarnPointerUp:
      if (!inside) {
        s->centerPressed = FALSE;
        s->centerInside = FALSE;
        return FALSE;
      }
      if (!s->centerPressed) {
        s->centerInside = FALSE;
        return TRUE;
      }
      Defer(view, s, CenterTileClickedDeferred, "_UICarouselViewCenterTileClickedDeferred");
      s->centerPressed = FALSE;
      s->centerInside = FALSE;
      break;
    case kTarnPointerDown:
      if (!inside) return FALSE;
      s->centerPressed = TRUE;
      s->centerInside = TRUE;
      break;
    default:
      return FALSE;
  }
  if (UICarouselViewDrawCenterTile(view) == 0 && view->screen) (void)DUScreenDraw(view->screen);
  return TRUE;
}

INT32 ArrowTracking(UICarouselState* s, DUView* view, DUPoint p) {
  if (DUPointInRect(p, UICarouselPrevArrowRect(s, view))) return kUICarouselTrackingPrevArrow;
  if (DUPointInRect(p, UICarouselNextArrowRect(s, view))) return kUICarouselTrackingNextArrow;
  return kUICarouselTrackingNone;
}

BOOLEAN ListStateEvent(DUView* view, UICarouselState* s, UINT64 kind, DUPoint p) {
  s->centerPressed = FALSE;
  bool in_view = DUPointInRect(p, DURectMake(0, 0, view->frame.height, view->frame.width));
  if (kind == kTarnPointerDown ? !in_view : s->tracking == kUICarouselTrackingNone) return FALSE;
  if (kind == kTarnPointerDown) {
    s->tracking = kUICarouselTrackingNone;
    INT32 tile = UICarouselTileAtPoint(s, view, p);
    if (tile >= 0) {
      s->tracking = kUICarouselTrackingTile;
      s->selectedIndex = tile;
    } else {
      s->selectedIndex = -1;
      s->tracking = ArrowTracking(s, view, p);
    }
  } else if (kind == kTarnPointerMove) {
    if (s->tracking == kUICarouselTrackingTile) {
      s->selectedIndex = UICarouselTileAtPoint(s, view, p);
    } else {
      INT32 tracking = ArrowTracking(s, view, p);
      if (tracking == kUICarouselTrackingNone) tracking = kUICarouselTrackingStrip;
      if (tracking == s->tracking) return TRUE;
      s->tracking = tracking;
    }
  } else {
    if (s->tracking == kUICarouselTrackingNextArrow) {
      Defer(view, s, GoNextDeferred, "_UICarouselViewGoNextDeferred");
    } else if (s->tracking == kUICarouselTrackingPrevArrow) {
      Defer(view, s, GoPrevDeferred, "_UICarouselViewGoPrevDeferred");
    } else if (s->tracking == kUICarouselTrackingTile && s->selectedIndex >= 0) {
      Defer(view, s, ClickDeferred, "_UICarouselViewClickDeferred");
    }
    s->tracking = kUICarouselTrackingNone;
  }
  UICarouselDraw(view, DrawTilesList, 0, 0);
  if (view->screen) (void)DUScreenDraw(view->screen);  // a failed transfer shows up in the next one
  return TRUE;
}

}  // namespace

BOOLEAN _UICarouselViewEventResponder_ListClicked(DUView* view, TarnEventRecord* event, void*) {
  UICarouselState* s = UICarouselViewState(view);
  if (!s || !event) return FALSE;
  if (s->busy) return TRUE;
  UINT64 kind = event->Data & kTarnPointerActionMask;
  DUPoint p{event->Position.X - view->frame.x, event->Position.Y - view->frame.y};
  if (s->state != UICarouselViewListState) return SelectedStateEvent(view, s, kind, p);
  return ListStateEvent(view, s, kind, p);
}
