#include "ui/table_view.h"

#include "draw/log_error.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "ui/run_loop.h"
#include "ui/view_ticket.h"
#include "ui/scroll_indicator.h"

namespace {

UITableViewState* StateOf(const DUView* view) {
  if (!view || view->kind != kUIViewKindTableView) return nullptr;
  return static_cast<UITableViewState*>(view->user_data);
}

DUSize ViewSize(const DUView* view) { return DUSize{view->frame.height, view->frame.width}; }

INT32 RowHeight(const UITableViewState* s) { return s->row_count > 0 ? s->row_sizes[0].height : 0; }

UINTN CopyBuffer(const DUPixel* source, DUSize size, DUPixel** out, DUSize* out_size) {
  DUPixel* copy = nullptr;
  if (source) {
    if (size.width <= 0 || size.height <= 0) return 1;
    UINTN bytes = UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel);
    copy = static_cast<DUPixel*>(PoolAllocate(bytes));
    if (!copy) return 1;
    MemCopy(copy, source, bytes);
  }
  PoolFree(*out);
  *out = copy;
  *out_size = source ? size : DUSize{0, 0};
  return 0;
}

UINTN CreateDefaultSelection(UITableViewState* s) {
  DUSize size{RowHeight(s), s->view_width};
  if (size.height <= 0 || size.width <= 0) return 0;
  auto* buffer = static_cast<DUPixel*>(PoolAllocate(UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel)));
  if (!buffer) return 1;
  if (EFI_ERROR(DUFillBufferRect(kUITableViewSelectionStroke, buffer, size, DURectMake(0, 0, size.height, size.width)))) {
    DULogError("_UITableViewCreateDefaultBackSelectionBuffer", "DUFillBufferRect with strokeColor failed\n");
  }
  if (EFI_ERROR(DUFillBufferRect(kUITableViewSelectionFill, buffer, size,
                                 DURectMake(1, 1, size.height - 2, size.width - 2)))) {
    DULogError("_UITableViewCreateDefaultBackSelectionBuffer", "DUFillBufferRect with fillColor failed\n");
  }
  s->selection_background = buffer;
  s->selection_background_size = size;
  return 0;
}

void Composite(DUView* view, const DUPixel* source, DUSize size, INT32 y, const char* what) {
  EFI_STATUS status = DUCompositePixelBuffers(view->pixels, ViewSize(view), nullptr, source, size, DUPoint{0, y}, 0, nullptr);
  if (EFI_ERROR(status) && status != EFI_NOT_FOUND) {
    DULogError("_UITableViewDrawInBuffer", "%s DUCompositePixelBuffers for %s failed err:%d\n", "_UITableViewDrawInBuffer",
               what, INT32(status));
  }
}

void DrawInBuffer(DUView* view) {
  UITableViewState* s = StateOf(view);
  DUSize size = ViewSize(view);
  if (!view->pixels) return;
  DURect all = DURectMake(0, 0, size.height, size.width);
  (void)DUFillBufferRect(0xFFFFFFFF, view->pixels, size, all);  // cannot fail with a buffer
  (void)DUFillBufferRect(s->background, view->pixels, size, all);
  INT32 row_height = RowHeight(s);
  if (s->rows && row_height > 0) {
    INT32 y = s->scroll_offset;
    for (INT32 row = 0; row < s->row_count; ++row, y += row_height) {
      if (y + row_height <= 0 || y >= size.height) continue;
      bool selected = row == s->selected_row;
      DUPixel* buffer = s->rows[row];
      if (selected) {
        if (s->selected_rows && s->selected_rows[row]) buffer = s->selected_rows[row];
        if (s->selection_background) Composite(view, s->selection_background, s->selection_background_size, y, "selection");
      }
      if (buffer) {
        Composite(view, buffer, s->row_sizes[row], y, "row");
      } else {
        DULogError("_UITableViewDrawInBuffer", "buffer for row %d is NULL\n", row);
      }
      if (selected && s->selection_overlay) Composite(view, s->selection_overlay, s->selection_overlay_size, y, "overlay");
      if (s->draw_row &&
          s->draw_row(view, s->draw_row_context, row, DURectMake(0, y, s->row_sizes[row].height, s->view_width)) != 0) {
        DULogError("_UITableViewDrawInBuffer", "userData->customDrawRow failed\n");
      }
    }
  }
  if (s->draw && s->draw(view, s->draw_context) != 0) DULogError("_UITableViewDrawInBuffer", "userData->customDraw failed\n");
  view->needs_display = TRUE;
}

void SelectionDidChangeDeferred(DUView* view) {
  UITableViewState* s = StateOf(view);
  if (s && s->did_change) s->did_change(view, s->did_change_context);
}

void Destroyed(DUView* view) {
  UITableViewState* s = StateOf(view);
  if (!s) return;
  // An indicator may outlive its table (screens destroy views in their own order).
  if (s->scroll_indicator) UIScrollIndicatorTableGone(s->scroll_indicator);
  UIViewTicketRelease(s->ticket);
  PoolFree(s->selection_background);
  PoolFree(s->selection_overlay);
  PoolFree(s);
  view->user_data = nullptr;
}

}  // namespace

UITableViewState* UITableViewStateOf(DUView* view) { return StateOf(view); }

UINTN UITableViewCreate(DUView** out_view, const DURect& frame, INT32 row_count, DUPixel** rows,
                        DUPixel** selected_rows, DUSize* row_sizes) {
  if (!out_view || row_count < 0 || (row_count > 0 && (!rows || !row_sizes)) || frame.width <= 0 || frame.height <= 0) {
    DULogError("UITableViewCreate", "invalid argument\n");
    return 1;
  }
  *out_view = nullptr;
  auto* s = static_cast<UITableViewState*>(PoolAllocateZero(sizeof(UITableViewState)));
  UINTN bytes = UINTN(frame.width) * UINTN(frame.height) * sizeof(DUPixel);
  auto* pixels = static_cast<DUPixel*>(PoolAllocate(bytes));
  if (!s || !pixels) {
    PoolFree(s);
    PoolFree(pixels);
    DULogError("UITableViewCreate", "out of memory\n");
    return 1;
  }
  DUView* view = nullptr;
  if (EFI_ERROR(DUViewCreateWithImage(frame, pixels, bytes, &view))) {
    PoolFree(s);
    DULogError("UITableViewCreate", "DUViewCreateWithImage failed\n");
    return 1;
  }
  s->row_count = row_count;
  s->rows = rows;
  s->selected_rows = selected_rows;
  s->row_sizes = row_sizes;
  s->view_width = frame.width;
  s->content_height = row_count * RowHeight(s);
  s->selected_row = -1;
  s->background = kUITableViewDefaultBackground;
  view->kind = kUIViewKindTableView;
  view->user_data = s;
  view->callbacks.destroy = Destroyed;
  if (CreateDefaultSelection(s) != 0 || !(s->ticket = UIViewTicketCreate(view))) {
    DUViewDestroy(view);
    DULogError("UITableViewCreate", "out of memory\n");
    return 1;
  }
  DrawInBuffer(view);
  *out_view = view;
  return 0;
}

UINTN UITableViewSetSelectedRow(DUView* view, INT32 row) {
  UITableViewState* s = StateOf(view);
  if (!s) {
    DULogError("UITableViewSetSelectedRow", "tableView is NULL\n");
    return 1;
  }
  if (row < -1) row = -1;
  if (row > s->row_count) row = s->row_count;
  if (s->should_select && !s->should_select(view, s->should_select_context, row)) row = -1;
  if (row == s->selected_row) return 0;
  s->selected_row = row;
  DrawInBuffer(view);
  if (s->did_change) {
    (void)UIViewTicketDefer(s->ticket, SelectionDidChangeDeferred, "_selectionDidChangeDeferred");  // logged there
  }
  return 0;
}

INT32 UITableViewSelectedRow(DUView* view) {
  UITableViewState* s = StateOf(view);
  if (!s) {
    DULogError("UITableViewSelectedRow", "tableView is NULL\n");
    return -1;
  }
  return s->selected_row;
}

INTN UITableViewSetScrollPosition(DUView* view, INT32 offset) {
  UITableViewState* s = StateOf(view);
  if (!s) {
    DULogError("UITableViewSetScrollPosition", "tableView is NULL\n");
    return -1;
  }
  if (view->frame.height >= s->content_height) return -1;
  INT32 lowest = view->frame.height - s->content_height;
  s->scroll_offset = offset > 0 ? 0 : (offset < lowest ? lowest : offset);
  DrawInBuffer(view);
  if (s->scroll_indicator) (void)UIScrollIndicatorRefresh(s->scroll_indicator);  // logged inside
  return 0;
}

INT32 UITableViewScrollPosition(const DUView* view) {
  UITableViewState* s = StateOf(view);
  return s ? s->scroll_offset : 0;
}

UINTN UITableViewSetBackgroundColor(DUView* view, DUPixel colour) {
  UITableViewState* s = StateOf(view);
  if (!s) {
    DULogError("UITableViewSetBackgroundColor", "tableView is NULL\n");
    return 1;
  }
  s->background = colour;
  DrawInBuffer(view);
  return 0;
}

UINT32 UITableViewRowAtPoint(DUView* view, DUPoint point) {
  UITableViewState* s = StateOf(view);
  if (!s || RowHeight(s) <= 0) return 0xFFFFFFFF;
  const DURect& f = view->frame;
  if (point.x < f.x || point.y < f.y || point.x - f.x >= f.width || point.y - f.y >= f.height) return 0xFFFFFFFF;
  return UINT32((point.y - f.y - s->scroll_offset) / RowHeight(s));
}

DURect UITableViewRectForRow(DUView* view, INT32 row) {
  UITableViewState* s = StateOf(view);
  if (!s || row < 0 || row >= s->row_count) return DURectMake(0, 0, 0, 0);
  return DURectMake(0, s->scroll_offset + row * RowHeight(s), s->row_sizes[row].height, s->view_width);
}

DURect UITableViewContentRect(DUView* view) {
  UITableViewState* s = StateOf(view);
  if (!s) return DURectMake(0, 0, 0, 0);
  return DURectMake(0, s->scroll_offset, s->content_height, s->view_width);
}

DUSize UITableViewContentSize(DUView* view) {
  UITableViewState* s = StateOf(view);
  return s ? DUSize{s->content_height, s->view_width} : DUSize{0, 0};
}

UINTN UITableViewSetSelectionBackground(DUView* view, const DUPixel* buffer, DUSize size) {
  UITableViewState* s = StateOf(view);
  if (!s || CopyBuffer(buffer, size, &s->selection_background, &s->selection_background_size) != 0) {
    DULogError("UITableViewSetSelectionBackground", "failed\n");
    return 1;
  }
  DrawInBuffer(view);
  return 0;
}

UINTN UITableViewSetSelectionOverlay(DUView* view, const DUPixel* buffer, DUSize size) {
  UITableViewState* s = StateOf(view);
  if (!s || CopyBuffer(buffer, size, &s->selection_overlay, &s->selection_overlay_size) != 0) {
    DULogError("UITableViewSetSelectionOverlay", "failed\n");
    return 1;
  }
  DrawInBuffer(view);
  return 0;
}

UINTN UITableViewSetShouldSelectCallback(DUView* view, UITableViewShouldSelect callback, void* context) {
  UITableViewState* s = StateOf(view);
  if (!s) return 1;
  s->should_select = callback;
  s->should_select_context = context;
  return 0;
}

UINTN UITableViewSetDidChangeCallback(DUView* view, UITableViewDidChange callback, void* context) {
  UITableViewState* s = StateOf(view);
  if (!s) return 1;
  s->did_change = callback;
  s->did_change_context = context;
  return 0;
}

UINTN UITableViewSetCustomDrawRow(DUView* view, UITableViewDrawRow callback, void* context) {
  UITableViewState* s = StateOf(view);
  if (!s) return 1;
  s->draw_row = callback;
  s->draw_row_context = context;
  DrawInBuffer(view);
  return 0;
}

UINTN UITableViewSetCustomDraw(DUView* view, UITableViewDraw callback, void* context) {
  UITableViewState* s = StateOf(view);
  if (!s) return 1;
  s->draw = callback;
  s->draw_context = context;
  DrawInBuffer(view);
  return 0;
}

UINTN UITableViewSetScrollIndicator(DUView* view, DUView* indicator) {
  UITableViewState* s = StateOf(view);
  if (!s) return 1;
  s->scroll_indicator = indicator;
  return 0;
}
