#include "ui/single_tile.h"

#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/view_ticket.h"

namespace {

UISingleTileState* StateOf(const DUView* view) {
  if (!view || view->kind != kUIViewKindSingleTile) return nullptr;
  return static_cast<UISingleTileState*>(view->user_data);
}

void Draw(DUView* view) {
  UISingleTileState* s = StateOf(view);
  if (!view->pixels) return;
  DUSize size{view->frame.height, view->frame.width};
  (void)DUFillBufferRect(0xFFFFFFFF, view->pixels, size, DURectMake(0, 0, size.height, size.width));
  UINT32 index = kUITileImageNormal;
  if (s->info.mode == kUISingleTileModeSelected) {
    index = (s->pressed && s->inside) ? kUITileImageSelectedPressed : kUITileImageSelected;
  }
  if (const DUPixel* image = s->info.images[index]) {
    EFI_STATUS status = DUCompositePixelBuffers(view->pixels, size, nullptr, image, s->info.size, DUPoint{0, 0}, 0, nullptr);
    if (EFI_ERROR(status)) DULogError("_UISingleTileView_draw", "DUCompositePixelBuffers failed err:%d\n", INT32(status));
  }
  view->needs_display = TRUE;
}

void ClickedDeferred(DUView* view) {
  UISingleTileState* s = StateOf(view);
  if (s && s->info.click) s->info.click(s->info.context, s->info.context);
}

BOOLEAN Respond(DUView* view, TarnEventRecord* event, void*) {
  UISingleTileState* s = StateOf(view);
  if (!s || !(event->Type & (kTarnEventPointerMoved | kTarnEventPointerButton))) return FALSE;
  BOOLEAN inside = DUPointInRect(DUPoint{event->Position.X, event->Position.Y}, view->frame) ? TRUE : FALSE;
  switch (event->Data & kTarnPointerActionMask) {
    case kTarnPointerDown:
      if (!inside) return FALSE;
      s->pressed = TRUE;
      s->inside = TRUE;
      Draw(view);
      return TRUE;
    case kTarnPointerMove:
      if (!s->pressed || s->inside == inside) return FALSE;
      s->inside = inside;
      Draw(view);
      return TRUE;
    case kTarnPointerUp: {
      BOOLEAN changed = s->pressed || s->inside;
      if (s->pressed && inside) {
        (void)UIViewTicketDefer(s->ticket, ClickedDeferred, "_UISingleTileView_deferred_buttonClicked");  // logged there
      }
      s->pressed = FALSE;
      s->inside = FALSE;
      Draw(view);
      return changed;
    }
    default:
      return FALSE;
  }
}

void Destroyed(DUView* view) {
  if (UISingleTileState* s = StateOf(view)) UIViewTicketRelease(s->ticket);
  PoolFree(view->user_data);
  view->user_data = nullptr;
}

}  // namespace

UISingleTileState* UISingleTileStateOf(DUView* view) { return StateOf(view); }

UINTN UISingleTileViewCreate(DUView** out_view, const UISingleTileInfo& info) {
  if (!out_view) {
    DULogError("UISingleTileViewCreate", "singleTileView is NULL\n");
    return 1;
  }
  *out_view = nullptr;
  auto* s = static_cast<UISingleTileState*>(PoolAllocateZero(sizeof(UISingleTileState)));
  DUView* view = nullptr;
  if (!s || EFI_ERROR(DUViewCreate(DURectMake(0, 0, info.size.height, info.size.width), &view)) ||
      !(s->ticket = UIViewTicketCreate(view))) {
    if (view) (void)DUViewDestroy(view);  // a fresh view
    PoolFree(s);
    DULogError("UISingleTileViewCreate", "DUViewCreate failed\n");
    return 1;
  }
  s->info = info;
  view->kind = kUIViewKindSingleTile;
  view->user_data = s;
  view->callbacks.destroy = Destroyed;
  Draw(view);
  *out_view = view;
  return 0;
}

UINTN UISingleTileViewRegisterForEvents(DUView* view) {
  if (!StateOf(view)) {
    DULogError("UISingleTileViewRegisterForEvents", "singleTileView is NULL\n");
    return 1;
  }
  EFI_STATUS status = DUScreenRegisterResponder(view->screen, view, kTarnEventPointerMoved | kTarnEventPointerButton,
                                                Respond, nullptr);
  if (EFI_ERROR(status)) {
    DULogError("UISingleTileViewRegisterForEvents", "DUScreenRegisterResponder failed with err: %d\n", INT32(status));
    return 1;
  }
  return 0;
}

UINTN UISingleTileViewSetMode(DUView* view, UINT32 mode) {
  UISingleTileState* s = StateOf(view);
  if (!s) return 1;
  s->info.mode = mode;
  Draw(view);
  return 0;
}
