#include "ui/popover.h"

#include "draw/display.h"
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/view_ticket.h"

namespace {

UIPopoverState* StateOf(const DUView* view) {
  if (!view || view->kind != kUIViewKindPopover) return nullptr;
  return static_cast<UIPopoverState*>(view->user_data);
}

INT32 Scale() { return INT32(DUScaleFactor()); }

// The left edge of the item column: the narrowest centring over all items, never below 0.
INT32 ColumnX(const DUView* view, const UIPopoverState* s) {
  INT32 x = view->frame.width;
  for (UINT32 i = 0; i < s->info.item_count; ++i) {
    INT32 centred = view->frame.width / 2 - s->info.item_sizes[i].width / 2;
    if (centred < x) x = centred;
  }
  return x < 0 ? 0 : x;
}

DURect ItemRect(const DUView* view, const UIPopoverState* s, INT32 item) {
  if (item < 0 || UINT32(item) >= s->info.item_count) return DURectMake(0, 0, 0, 0);
  INT32 y = s->top_margin;
  for (INT32 i = 0; i < item; ++i) y += s->info.item_sizes[i].height + s->info.item_spacing[i];
  DUSize size = s->info.item_sizes[item];
  INT32 x = (item == 0 && s->info.centre_first_item) ? view->frame.width / 2 - size.width / 2 : ColumnX(view, s);
  return DURectMake(x, y, size.height, size.width);
}

void Composite(DUView* view, const DUPixel* picture, DUSize size, DUPoint at) {
  DUSize buffer{view->frame.height, view->frame.width};
  EFI_STATUS status = DUCompositePixelBuffers(view->pixels, buffer, nullptr, picture, size, at, 0, nullptr);
  if (EFI_ERROR(status) && status != EFI_NOT_FOUND) {
    DULogError("_UIPopoverDrawFrame", "DUCompositePixelBuffers failed err:%d\n", INT32(status));
  }
}

void DrawFrame(DUView* view) {
  UIPopoverState* s = StateOf(view);
  const UIPopoverInfo& info = s->info;
  if (!view->pixels) return;
  DUSize buffer{view->frame.height, view->frame.width};
  (void)DUFillBufferRect(0xFFFFFFFF, view->pixels, buffer, DURectMake(0, 0, buffer.height, buffer.width));
  if (!info.tile_frame_image) {
    DULogError("_UIPopoverDrawFrame", "userData->info.tileFrameImage is NULL\n");
  } else if (!info.top_frame_image) {
    DULogError("_UIPopoverDrawFrame", "userData->info.topFrameImage is NULL\n");
  } else if (!info.bottom_frame_image) {
    DULogError("_UIPopoverDrawFrame", "userData->info.bottomFrameImage is NULL\n");
  } else {
    // The frame is centred; the items sit inside it by construction of the column.
    INT32 height = UIPopoverHeight(view);
    INT32 frame_x = view->frame.width / 2 - info.top_frame_size.width / 2;
    if (frame_x < 0) frame_x = 0;
    Composite(view, info.top_frame_image, info.top_frame_size, DUPoint{frame_x, 0});
    INT32 bottom_y = height - info.bottom_frame_size.height;
    if (info.tile_frame_size.height > 0) {
      for (INT32 y = info.top_frame_size.height; y < bottom_y; y += info.tile_frame_size.height) {
        Composite(view, info.tile_frame_image, info.tile_frame_size, DUPoint{frame_x, y});
      }
    }
    Composite(view, info.bottom_frame_image, info.bottom_frame_size, DUPoint{frame_x, bottom_y});
  }
  for (UINT32 i = 0; i < info.item_count; ++i) {
    const DUPixel* image = info.item_images[i];
    if (INT32(i) == s->highlighted && info.item_highlighted_images[i]) image = info.item_highlighted_images[i];
    if (!image) continue;
    DURect r = ItemRect(view, s, INT32(i));
    Composite(view, image, info.item_sizes[i], DUPoint{r.x, r.y});
  }
  view->needs_display = TRUE;
}

void FireDeferredCallback(DUView* view) {
  UIPopoverState* s = StateOf(view);
  if (!s) return;
  INT32 item = s->clicked;
  if (item >= 0 && UINT32(item) < s->info.item_count && s->info.item_callbacks[item]) {
    s->info.item_callbacks[item](view, s->info.item_contexts[item]);
  }
}

void DrawScreen(DUView* view) {
  if (view->screen) (void)DUScreenDraw(view->screen);  // drawing failures are logged by the screen's views
}

INT32 ItemAt(const DUView* view, const UIPopoverState* s, DUPoint point) {
  INT32 x = point.x - view->frame.x;
  INT32 y = point.y - view->frame.y;
  for (UINT32 i = 0; i < s->info.item_count; ++i) {
    DURect r = ItemRect(view, s, INT32(i));
    INT32 band_end = r.y + r.height + s->info.item_spacing[i];
    if (y >= r.y && y < band_end && x >= r.x && x < r.x + r.width) return INT32(i);
  }
  return -1;
}

BOOLEAN Respond(DUView* view, TarnEventRecord* event, void*) {
  UIPopoverState* s = StateOf(view);
  if (!s) return FALSE;
  if (!(event->Type & (kTarnEventPointerMoved | kTarnEventPointerButton))) return FALSE;
  INT32 scale = Scale();
  DURect hit = DURectMake(view->frame.x, view->frame.y + 30 * scale, UIPopoverHeight(view) - s->hit_reduction - 30 * scale,
                          view->frame.width);
  DUPoint point{event->Position.X, event->Position.Y};
  UINT64 kind = event->Data & kTarnPointerActionMask;
  if (!DUPointInRect(point, hit)) {
    s->highlighted = -1;
    if (kind == kTarnPointerDown && !s->info.stays_open) {
      (void)DUViewSetVisible(view, FALSE);  // a popover has no visibility hook
      DrawScreen(view);
    }
    if (kind == kTarnPointerUp || kind == kTarnPointerClick || kind == kTarnPointerDoubleClick) s->pressed = FALSE;
    return (!s->info.stays_open && point.y >= view->frame.y) ? TRUE : FALSE;
  }
  INT32 before = s->highlighted;
  switch (kind) {
    case kTarnPointerMove:
      if (!s->pressed) return TRUE;
      break;
    case kTarnPointerUp:
      s->clicked = s->highlighted;
      s->highlighted = -1;
      s->pressed = FALSE;
      DrawFrame(view);
      DrawScreen(view);
      (void)UIViewTicketDefer(s->ticket, FireDeferredCallback, "_UIPopoverFireDeferredCallback");  // logged there
      return TRUE;
    case kTarnPointerDown:
      s->pressed = TRUE;
      break;
    default:
      s->highlighted = -1;
      s->pressed = FALSE;
      if (before != -1) {
        DrawFrame(view);
        DrawScreen(view);
      }
      return TRUE;
  }
  s->highlighted = ItemAt(view, s, point);
  if (s->highlighted != before) {
    DrawFrame(view);
    DrawScreen(view);
  }
  return TRUE;
}

void Destroyed(DUView* view) {
  if (UIPopoverState* s = StateOf(view)) UIViewTicketRelease(s->ticket);
  PoolFree(view->user_data);
  view->user_data = nullptr;
}

}  // namespace

UIPopoverState* UIPopoverStateOf(DUView* view) { return StateOf(view); }

DURect UIPopoverItemRect(DUView* view, INT32 item) {
  UIPopoverState* s = StateOf(view);
  return s ? ItemRect(view, s, item) : DURectMake(0, 0, 0, 0);
}

INT32 UIPopoverHeight(DUView* view) {
  UIPopoverState* s = StateOf(view);
  if (!s) return 0;
  INT32 height = 0;
  for (UINT32 i = 0; i < s->info.item_count; ++i) {
    height += s->info.item_sizes[i].height;
    if (i + 1 < s->info.item_count) height += s->info.item_spacing[i];
  }
  return height + s->info.top_frame_size.height + s->info.bottom_frame_size.height - s->bottom_reduction;
}

UINTN UIPopoverCreate(DUView** out_view, const UIPopoverInfo& info) {
  if (!out_view) {
    DULogError("UIPopoverCreate", "popover is NULL\n");
    return 1;
  }
  *out_view = nullptr;
  if (info.width < 1) {
    DULogError("UIPopoverCreate", "info->width is not valid is: %d\n", info.width);
    return 1;
  }
  if (info.item_count > kUIPopoverMaxItems) {
    DULogError("UIPopoverCreate", "info->itemCount is not valid is: %d\n", info.item_count);
    return 1;
  }
  INT32 scale = Scale();
  auto* s = static_cast<UIPopoverState*>(PoolAllocateZero(sizeof(UIPopoverState)));
  DUView* view = nullptr;
  if (!s || EFI_ERROR(DUViewCreate(DURectMake(200, 200, 500 * scale, info.width), &view)) ||
      !(s->ticket = UIViewTicketCreate(view))) {
    if (view) (void)DUViewDestroy(view);  // a fresh view
    PoolFree(s);
    DULogError("UIPopoverCreate", "DUViewCreate failed\n");
    return 1;
  }
  s->info = info;
  s->highlighted = -1;
  s->clicked = -1;
  s->top_margin = 30 * scale;
  s->bottom_reduction = 26 * scale;
  s->hit_reduction = 25 * scale;
  view->kind = kUIViewKindPopover;
  view->user_data = s;
  view->callbacks.destroy = Destroyed;
  (void)DUViewSetZOrder(view, kUIPopoverZOrder);  // within range
  DrawFrame(view);
  *out_view = view;
  return 0;
}

UINTN UIPopoverRegisterForEvents(DUView* view) {
  if (!StateOf(view)) {
    DULogError("UIPopoverRegisterForEvents", "popover is NULL\n");
    return 1;
  }
  EFI_STATUS status = DUScreenRegisterResponder(view->screen, view, kUIPopoverEventMask, Respond, nullptr);
  if (EFI_ERROR(status)) {
    DULogError("UIPopoverRegisterForEvents", "DUScreenRegisterResponder failed with err: %d\n", INT32(status));
    return 1;
  }
  return 0;
}
