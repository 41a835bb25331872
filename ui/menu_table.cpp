// The menu's rows: a column of pictures with one selected row and a vertical scroll
// offset, drawn into the table view's buffer with the menu's tick, submenu mark and arrow
// strips. It stands where the widget layer's table view will be used.
#include "draw/display.h"
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/menu.h"

namespace {

struct Table {
  TesselMenu* menu;
  INT32 rowHeight;
  INT32 scrollOffset;  // 0 or negative
  INT32 selectedRow;   // -1 none
};

void DestroyTable(DUView* view) {
  PoolFree(view->user_data);
  view->user_data = nullptr;
}

Table* Of(DUView* view) {
  if (!view || view->callbacks.destroy != DestroyTable) return nullptr;
  return static_cast<Table*>(view->user_data);
}

INT32 ArrowStrip() { return 16 * INT32(DUScaleFactor()); }

void Composite(DUView* view, const TesselMenuPicture& picture, DUPoint at, const char* failure) {
  if (!picture.pixels) return;
  EFI_STATUS status =
      DUCompositePixelBuffers(view->pixels, view->content_size, nullptr, picture.pixels, picture.size, at, 0, nullptr);
  if (status != EFI_SUCCESS && status != EFI_NOT_FOUND) DULogError("tesselMenu_tableViewCustomDraw", failure);
}

// A submenu's row gets the triangle at its right end, a checked row the tick at its left.
void DrawRowMarks(DUView* view, Table* t, INT32 row, const DURect& rect) {
  const TesselMenuResources* r = t->menu->resources;
  TesselMenuItem* item = t->menu->items[row];
  if (!r) return;
  bool selected = row == t->selectedRow;
  if (item->submenu) {
    const TesselMenuPicture& p = selected ? r->triangleLeftSelected : r->triangleLeft;
    Composite(view, p, DUPoint{rect.x + rect.width - 10 - p.size.width, rect.y + (rect.height - p.size.height) / 2},
              "DUCompositePixelBuffers failed for menu->resources->leftArrowBuffer");
  }
  if (item->checked) {
    Composite(view, selected ? r->tickSelected : r->tick, DUPoint{4, rect.y},
              "DUCompositePixelBuffers failed for menu->resources->tickBuffer");
  }
}

void DrawArrowStrips(DUView* view, Table* t) {
  const TesselMenuResources* r = t->menu->resources;
  INT32 a = ArrowStrip();
  INT32 height = view->content_size.height;
  INT32 width = view->content_size.width;
  if (t->scrollOffset != 0) {
    (void)DUFillBufferRect(kTesselMenuBackground, view->pixels, view->content_size, DURectMake(0, 0, a, width));
    if (r) Composite(view, r->triangleUp, DUPoint{(width - r->triangleUp.size.width) / 2, 0},
                     "DUCompositePixelBuffers(upArrowBuffer) failed");
  }
  if (t->scrollOffset + _TesselMenuTableContentHeight(view) > height) {
    (void)DUFillBufferRect(kTesselMenuBackground, view->pixels, view->content_size, DURectMake(0, height - a, a, width));
    if (r) Composite(view, r->triangleDown, DUPoint{(width - r->triangleDown.size.width) / 2, height - a},
                     "DUCompositePixelBuffers(downArrowBuffer) failed");
  }
}

}  // namespace

UINTN _TesselMenuTableCreate(TesselMenu* menu, const DURect& frame, DUView** out_view) {
  auto* t = static_cast<Table*>(PoolAllocateZero(sizeof(Table)));
  DUView* view = nullptr;
  if (!t || DUViewCreate(frame, &view) != EFI_SUCCESS) {
    PoolFree(t);
    DULogError("UITableViewCreate", "DUViewCreateWithImage failed");
    return 1;
  }
  t->menu = menu;
  t->rowHeight = menu->itemCount > 0 ? menu->items[0]->size.height : 1;
  if (t->rowHeight < 1) t->rowHeight = 1;
  t->selectedRow = -1;
  (void)DUViewSetCallbacks(view, nullptr, DestroyTable, nullptr, t);  // a fresh view
  (void)DUViewSetZOrder(view, kTesselMenuZOrder);                       // within range
  *out_view = view;
  _TesselMenuTableRedraw(view);
  return 0;
}

INT32 _TesselMenuTableContentHeight(DUView* table) {
  Table* t = Of(table);
  return t ? t->rowHeight * t->menu->itemCount : 0;
}

INT32 _TesselMenuTableScrollOffset(DUView* table) {
  Table* t = Of(table);
  return t ? t->scrollOffset : 0;
}

INT32 _TesselMenuTableSelectedRow(DUView* table) {
  Table* t = Of(table);
  if (!t) {
    DULogError("UITableViewSelectedRow", "tableView is NULL");
    return -1;
  }
  return t->selectedRow;
}

UINTN _TesselMenuTableSetSelectedRow(DUView* table, INT32 row) {
  Table* t = Of(table);
  if (!t) return 1;
  if (row < -1) row = -1;
  if (row > t->menu->itemCount) row = t->menu->itemCount;
  if (row == t->selectedRow) return 0;
  t->selectedRow = row;
  _TesselMenuTableRedraw(table);
  return 0;
}

INTN _TesselMenuTableSetScrollPosition(DUView* table, INT32 offset) {
  Table* t = Of(table);
  if (!t) return 1;
  INT32 view_height = table->frame.height;
  INT32 content = _TesselMenuTableContentHeight(table);
  if (view_height >= content) return -1;
  if (offset > 0) offset = 0;
  if (offset < view_height - content) offset = view_height - content;
  t->scrollOffset = offset;
  _TesselMenuTableRedraw(table);
  return 0;
}

INT32 _TesselMenuTableRowAtPoint(DUView* table, DUPoint p) {
  Table* t = Of(table);
  if (!t) return -1;
  const DURect& f = table->frame;
  if (p.x < f.x || p.y < f.y || p.x >= f.x + f.width || p.y >= f.y + f.height) return -1;
  INT32 row = (p.y - f.y - t->scrollOffset) / t->rowHeight;
  return row < t->menu->itemCount ? row : -1;
}

DURect _TesselMenuTableRowRect(DUView* table, INT32 row) {
  Table* t = Of(table);
  if (!t) return DURectMake(0, 0, 0, 0);
  return DURectMake(table->frame.x, table->frame.y + t->scrollOffset + row * t->rowHeight, t->rowHeight,
                    table->frame.width);
}

void _TesselMenuTableRedraw(DUView* table) {
  Table* t = Of(table);
  if (!t || !table->pixels) return;
  DURect whole = DURectMake(0, 0, table->content_size.height, table->content_size.width);
  (void)DUFillBufferRect(kTesselMenuBackground, table->pixels, table->content_size, whole);  // the pixels exist
  const TesselMenuResources* r = t->menu->resources;
  for (INT32 row = 0, y = t->scrollOffset; row < t->menu->itemCount; ++row, y += t->rowHeight) {
    if (y + t->rowHeight <= 0 || y >= whole.height) continue;
    TesselMenuItem* item = t->menu->items[row];
    DURect rect = DURectMake(0, y, item->size.height, whole.width);
    const DUPixel* picture = item->image;
    if (row == t->selectedRow) {
      if (r && r->baseSelection.pixels) {
        Composite(table, r->baseSelection, DUPoint{0, y}, "selection background failed");
      }
      if (item->selectedImage) picture = item->selectedImage;
    }
    if (!picture) {
      DULogError("_UITableViewDrawInBuffer", "buffer for row %d is NULL", row);
    } else {
      (void)DUCompositePixelBuffers(table->pixels, table->content_size, nullptr, picture, item->size, DUPoint{0, y}, 0,
                                    nullptr);  // inside the buffer by construction
    }
    DrawRowMarks(table, t, row, rect);
  }
  DrawArrowStrips(table, t);
  (void)DUViewSetNeedsDisplay(table);  // a live view
}
