#include "ui/scroll_indicator.h"

#include "draw/fixed_point.h"
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/table_view.h"

namespace {

struct Indicator {
  UIScrollIndicatorPictures pictures;
  DUView* table;
  DUPixel* thumb;
  DUSize thumb_size;
};

Indicator* IndicatorOf(const DUView* view) {
  if (!view || view->kind != kUIViewKindScrollIndicator) return nullptr;
  return static_cast<Indicator*>(view->user_data);
}

void Destroyed(DUView* view) {
  Indicator* ind = IndicatorOf(view);
  if (!ind) return;
  if (UITableViewStateOf(ind->table) && UITableViewStateOf(ind->table)->scroll_indicator == view) {
    (void)UITableViewSetScrollIndicator(ind->table, nullptr);  // cannot fail for a table
  }
  PoolFree(ind->thumb);
  PoolFree(ind);
  view->user_data = nullptr;
}

}  // namespace

void UIScrollIndicatorTableGone(DUView* indicator) {
  if (Indicator* ind = IndicatorOf(indicator)) ind->table = nullptr;
}

namespace {

void Tile(DUPixel* buffer, DUSize size, const DUPixel* picture, DUSize picture_size, INT32 height) {
  if (!picture || picture_size.height <= 0) return;
  for (INT32 y = 0; y < height; y += picture_size.height) {
    (void)DUCompositePixelBuffers(buffer, size, nullptr, picture, picture_size, DUPoint{0, y}, 0, nullptr);  // clipped
  }
}

UINTN Draw(DUView* view) {
  Indicator* ind = IndicatorOf(view);
  UITableViewState* table = UITableViewStateOf(ind->table);
  if (!table || !view->pixels) return 1;
  DUSize size{view->frame.height, view->frame.width};
  (void)DUFillBufferRect(0xFFFFFFFF, view->pixels, size, DURectMake(0, 0, size.height, size.width));
  Tile(view->pixels, size, ind->pictures.track, ind->pictures.track_size, size.height);
  DURect thumb = UIScrollIndicatorThumbRect(view);
  if (!ind->thumb && thumb.height > 0 && thumb.width > 0) {
    DUSize ts{thumb.height, thumb.width};
    ind->thumb = static_cast<DUPixel*>(PoolAllocate(UINTN(ts.height) * UINTN(ts.width) * sizeof(DUPixel)));
    if (!ind->thumb) return 1;
    ind->thumb_size = ts;
    DURect all = DURectMake(0, 0, ts.height, ts.width);
    (void)DUFillBufferRect(0xFFFFFFFF, ind->thumb, ts, all);
    Tile(ind->thumb, ts, ind->pictures.middle, ind->pictures.middle_size, ts.height);
    const UIScrollIndicatorPictures& p = ind->pictures;
    (void)DUFillBufferRect(0xFFFFFFFF, ind->thumb, ts, DURectMake(0, 0, p.top_size.height, p.top_size.width));
    if (p.top) (void)DUCompositePixelBuffers(ind->thumb, ts, nullptr, p.top, p.top_size, DUPoint{0, 0}, 0, nullptr);
    INT32 bottom_y = ts.height - p.bottom_size.height;
    (void)DUFillBufferRect(0xFFFFFFFF, ind->thumb, ts, DURectMake(0, bottom_y, p.bottom_size.height, p.bottom_size.width));
    if (p.bottom) {
      (void)DUCompositePixelBuffers(ind->thumb, ts, nullptr, p.bottom, p.bottom_size, DUPoint{0, bottom_y}, 0, nullptr);
    }
  }
  if (ind->thumb) {
    (void)DUCompositePixelBuffers(view->pixels, size, nullptr, ind->thumb, ind->thumb_size, DUPoint{thumb.x, thumb.y}, 0,
                                  nullptr);
  }
  view->needs_display = TRUE;
  return 0;
}

}  // namespace

DURect UIScrollIndicatorThumbRect(DUView* view) {
  Indicator* ind = IndicatorOf(view);
  UITableViewState* table = ind ? UITableViewStateOf(ind->table) : nullptr;
  if (!table || table->content_height <= 0) return DURectMake(0, 0, 0, 0);
  INT32 H = view->frame.height;
  INT32 V = ind->table->frame.height;
  INT32 T = table->content_height;
  INT32 P = -table->scroll_offset;
  INT32 caps = ind->pictures.top_size.height + ind->pictures.bottom_size.height;
  INT32 L = DUFixedToInt(DUFixedMulInt(DUFixedRatio(V, T), H));
  if (L < caps) L = caps;
  INT32 range = (T - V) & ~1;
  INT32 travel = (H - L) & ~1;
  INT32 y = range > 0 ? DUFixedToInt(DUFixedMulInt(DUFixedRatio(P, range), travel)) : 0;
  return DURectMake(0, y, L, ind->pictures.track_size.width);
}

UINTN UIScrollIndicatorCreate(DUView** out_view, const DURect& frame, const UIScrollIndicatorPictures& pictures,
                              DUView* table) {
  if (!out_view || !UITableViewStateOf(table)) {
    DULogError("UIScrollIndicatorCreate", "invalid argument\n");
    return 1;
  }
  *out_view = nullptr;
  auto* ind = static_cast<Indicator*>(PoolAllocateZero(sizeof(Indicator)));
  DUView* view = nullptr;
  if (!ind || EFI_ERROR(DUViewCreate(frame, &view))) {
    PoolFree(ind);
    DULogError("UIScrollIndicatorCreate", "DUViewCreate failed\n");
    return 1;
  }
  ind->pictures = pictures;
  ind->table = table;
  view->kind = kUIViewKindScrollIndicator;
  view->user_data = ind;
  view->callbacks.destroy = Destroyed;
  (void)UITableViewSetScrollIndicator(table, view);  // a table, checked above
  (void)Draw(view);
  *out_view = view;
  return 0;
}

UINTN UIScrollIndicatorRefresh(DUView* view) {
  if (!IndicatorOf(view) || Draw(view) != 0) {
    DULogError("UIScrollIndicatorRefresh", "drawing failed\n");
    return 1;
  }
  if (view->screen && EFI_ERROR(DUScreenDraw(view->screen))) return 1;
  return 0;
}
