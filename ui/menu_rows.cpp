// The menu's rows on a table view (ui/table_view.h): the row pictures it shows, and the
// custom drawing that adds the tick, the submenu mark and the arrow strips of a scrolled menu.
#include "draw/display.h"
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/menu.h"
#include "ui/table_view.h"

namespace {

INT32 ArrowStrip() { return 16 * INT32(DUScaleFactor()); }

DUSize ViewSize(const DUView* view) { return DUSize{view->frame.height, view->frame.width}; }

EFI_STATUS Composite(DUView* view, const TesselMenuPicture& picture, DUPoint at) {
  if (!picture.pixels) return EFI_SUCCESS;
  EFI_STATUS status =
      DUCompositePixelBuffers(view->pixels, ViewSize(view), nullptr, picture.pixels, picture.size, at, 0, nullptr);
  return status == EFI_NOT_FOUND ? EFI_SUCCESS : status;  // nothing of it inside the table
}

// A submenu's row gets the triangle at its right end, a checked row the tick at its left.
UINTN tesselMenu_tableViewCustomDrawRow(DUView* table, void* context, INT32 row, DURect rect) {
  auto* menu = static_cast<TesselMenu*>(context);
  const TesselMenuResources* r = menu->resources;
  if (!r || row < 0 || row >= menu->rowCount) return 0;
  TesselMenuItem* item = menu->items[row];
  bool selected = row == UITableViewSelectedRow(table);
  UINTN result = 0;
  if (item->submenu) {
    const TesselMenuPicture& p = selected ? r->triangleLeftSelected : r->triangleLeft;
    DUPoint at{rect.x + rect.width - 10 - p.size.width, rect.y + (rect.height - p.size.height) / 2};
    if (EFI_ERROR(Composite(table, p, at))) {
      DULogError("tesselMenu_tableViewCustomDrawRow", "DUCompositePixelBuffers failed for menu->resources->leftArrowBuffer");
      result = 1;
    }
  }
  if (item->checked && EFI_ERROR(Composite(table, selected ? r->tickSelected : r->tick, DUPoint{4, rect.y}))) {
    DULogError("tesselMenu_tableViewCustomDrawRow", "DUCompositePixelBuffers failed for menu->resources->tickBuffer");
    result = 1;
  }
  return result;
}

// The arrow strips: a scrolled menu shows an up triangle at the top, one with rows below
// its bottom a down triangle there.
UINTN tesselMenu_tableViewCustomDraw(DUView* table, void* context) {
  auto* menu = static_cast<TesselMenu*>(context);
  const TesselMenuResources* r = menu->resources;
  INT32 a = ArrowStrip();
  DUSize size = ViewSize(table);
  INT32 offset = UITableViewScrollPosition(table);
  UINTN result = 0;
  if (offset != 0) {
    if (EFI_ERROR(DUFillBufferRect(kTesselMenuBackground, table->pixels, size, DURectMake(0, 0, a, size.width)))) {
      DULogError("tesselMenu_tableViewCustomDraw", "DUFillBufferRect(tableViewTopRect) failed");
      result = 1;
    }
    if (r && EFI_ERROR(Composite(table, r->triangleUp, DUPoint{(size.width - r->triangleUp.size.width) / 2, 0}))) {
      DULogError("tesselMenu_tableViewCustomDraw", "DUCompositePixelBuffers(upArrowBuffer) failed");
      result = 1;
    }
  }
  if (offset + UITableViewContentSize(table).height > size.height) {
    if (EFI_ERROR(DUFillBufferRect(kTesselMenuBackground, table->pixels, size,
                                   DURectMake(0, size.height - a, a, size.width)))) {
      DULogError("tesselMenu_tableViewCustomDraw", "DUFillBufferRect(tableViewBottomRect) failed");
      result = 1;
    }
    if (r && EFI_ERROR(Composite(table, r->triangleDown,
                                 DUPoint{(size.width - r->triangleDown.size.width) / 2, size.height - a}))) {
      DULogError("tesselMenu_tableViewCustomDraw", "DUCompositePixelBuffers(downArrowBuffer) failed");
      result = 1;
    }
  }
  return result;
}

}  // namespace

void tesselMenu_releaseRows(TesselMenu* menu) {
  PoolFree(menu->rowImages);
  PoolFree(menu->rowSelectedImages);
  PoolFree(menu->rowSizes);
  menu->rowImages = nullptr;
  menu->rowSelectedImages = nullptr;
  menu->rowSizes = nullptr;
  menu->rowCount = 0;
}

UINTN tesselMenu_initTableView(TesselMenu* menu, const DURect& frame) {
  // The table refers to these arrays; they live until the menu closes.
  INT32 count = menu->itemCount;
  menu->rowImages = static_cast<DUPixel**>(PoolAllocateZero(sizeof(DUPixel*) * UINTN(count)));
  menu->rowSelectedImages = static_cast<DUPixel**>(PoolAllocateZero(sizeof(DUPixel*) * UINTN(count)));
  menu->rowSizes = static_cast<DUSize*>(PoolAllocateZero(sizeof(DUSize) * UINTN(count)));
  if (!menu->rowImages || !menu->rowSelectedImages || !menu->rowSizes) {
    tesselMenu_releaseRows(menu);
    DULogError("tesselMenu_initTableView", "UITableViewCreate failed: %d", 1);
    return 1;
  }
  menu->rowCount = count;
  for (INT32 i = 0; i < count; ++i) {
    menu->rowImages[i] = menu->items[i]->image;
    menu->rowSelectedImages[i] = menu->items[i]->selectedImage;
    menu->rowSizes[i] = menu->items[i]->size;
  }
  DUView* table = nullptr;
  UINTN result = UITableViewCreate(&table, frame, count, menu->rowImages, menu->rowSelectedImages, menu->rowSizes);
  if (result != 0) {
    tesselMenu_releaseRows(menu);
    DULogError("tesselMenu_initTableView", "UITableViewCreate failed: %d", INT32(result));
    return 1;
  }
  (void)UITableViewSetBackgroundColor(table, kTesselMenuBackground);  // a live table
  if (menu->resources && menu->resources->baseSelection.pixels) {
    const TesselMenuPicture& base = menu->resources->baseSelection;
    (void)UITableViewSetSelectionBackground(table, base.pixels, base.size);  // logged inside; the default stays
  }
  (void)UITableViewSetCustomDrawRow(table, tesselMenu_tableViewCustomDrawRow, menu);
  (void)UITableViewSetCustomDraw(table, tesselMenu_tableViewCustomDraw, menu);
  (void)DUViewSetZOrder(table, kTesselMenuZOrder);  // within range
  menu->tableView = table;
  return 0;
}

INT32 TesselMenuRowAtPoint(TesselMenu* menu, DUPoint point) {
  if (!menu || !menu->tableView) return -1;
  UINT32 row = UITableViewRowAtPoint(menu->tableView, point);
  return row < UINT32(menu->rowCount) ? INT32(row) : -1;
}

DURect TesselMenuRowRect(TesselMenu* menu, INT32 row) {
  if (!menu || !menu->tableView) return DURectMake(0, 0, 0, 0);
  DURect rect = UITableViewRectForRow(menu->tableView, row);
  rect.x += menu->tableView->frame.x;
  rect.y += menu->tableView->frame.y;
  return rect;
}
