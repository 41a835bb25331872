// A table view: a column of pre-rendered rows, all of the first row's height, with one
// selected row drawn over a selection background, scrolled by a non-positive offset.
// Results are small integers: 0 success, 1 failure (logged).
#pragma once

#include "draw/screen.h"

constexpr UINT32 kUIViewKindTableView = 3;
constexpr DUPixel kUITableViewDefaultBackground = 0x00FFFFFF;
constexpr DUPixel kUITableViewSelectionFill = 0xEB646464;
constexpr DUPixel kUITableViewSelectionStroke = kUITableViewSelectionFill + 0xE2000000u;  // 0xCD646464

typedef BOOLEAN (*UITableViewShouldSelect)(DUView* table, void* context, INT32 row);
typedef void (*UITableViewDidChange)(DUView* table, void* context);
// Non-zero is a failure (logged; drawing goes on).
typedef UINTN (*UITableViewDrawRow)(DUView* table, void* context, INT32 row, DURect rect);
typedef UINTN (*UITableViewDraw)(DUView* table, void* context);

struct UITableViewState {
  INT32 content_height;
  INT32 view_width;
  INT32 row_count;
  INT32 scroll_offset;  // 0 or negative
  DUPixel** rows;
  DUPixel** selected_rows;  // optional
  DUSize* row_sizes;
  DUPixel* selection_background;
  DUSize selection_background_size;
  DUPixel* selection_overlay;
  DUSize selection_overlay_size;
  INT32 selected_row;
  DUPixel background;
  UITableViewShouldSelect should_select;
  void* should_select_context;
  UITableViewDidChange did_change;
  void* did_change_context;
  UITableViewDrawRow draw_row;
  void* draw_row_context;
  UITableViewDraw draw;
  void* draw_context;
  DUView* scroll_indicator;
  struct UIViewTicket* ticket;  // for the deferred did-change callback
};

// The row buffers (row_count of them, sizes in row_sizes) are referenced, not copied: they
// must outlive the view. selected_rows may be null.
UINTN UITableViewCreate(DUView** out_view, const DURect& frame, INT32 row_count, DUPixel** rows,
                        DUPixel** selected_rows, DUSize* row_sizes);
UINTN UITableViewSetSelectedRow(DUView* view, INT32 row);
INT32 UITableViewSelectedRow(DUView* view);  // -1 for none or a null view
// -1 when all rows fit, else 0.
INTN UITableViewSetScrollPosition(DUView* view, INT32 offset);
INT32 UITableViewScrollPosition(const DUView* view);
UINTN UITableViewSetBackgroundColor(DUView* view, DUPixel colour);
// The row under a screen point; all bits set outside the view.
UINT32 UITableViewRowAtPoint(DUView* view, DUPoint point);
// In the view's own coordinates, the scroll offset applied.
DURect UITableViewRectForRow(DUView* view, INT32 row);
DURect UITableViewContentRect(DUView* view);
DUSize UITableViewContentSize(DUView* view);
// The buffer is copied; the table redraws.
UINTN UITableViewSetSelectionBackground(DUView* view, const DUPixel* buffer, DUSize size);
UINTN UITableViewSetSelectionOverlay(DUView* view, const DUPixel* buffer, DUSize size);
UINTN UITableViewSetShouldSelectCallback(DUView* view, UITableViewShouldSelect callback, void* context);
UINTN UITableViewSetDidChangeCallback(DUView* view, UITableViewDidChange callback, void* context);
UINTN UITableViewSetCustomDrawRow(DUView* view, UITableViewDrawRow callback, void* context);
UINTN UITableViewSetCustomDraw(DUView* view, UITableViewDraw callback, void* context);
// A companion view redrawn after every scroll (see ui/scroll_indicator.h); null detaches.
UINTN UITableViewSetScrollIndicator(DUView* view, DUView* indicator);
UITableViewState* UITableViewStateOf(DUView* view);
