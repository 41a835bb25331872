// The Tessel menu: building, showing, hover, submenus, scrolling and closing.
#include "ui/menu.h"

#include "draw/display.h"
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/event_protocol.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"
#include "ui/table_view.h"
#include "ui/timer.h"

namespace {

INT32 Scale() { return INT32(DUScaleFactor()); }
INT32 Min(INT32 a, INT32 b) { return a < b ? a : b; }

}  // namespace

TesselMenu* TesselMenuCreate(DUScreen* screen, const TesselMenuResources* resources) {
  auto* menu = static_cast<TesselMenu*>(PoolAllocateZero(sizeof(TesselMenu)));
  if (!menu) return nullptr;
  menu->items = static_cast<TesselMenuItem**>(PoolAllocateZero(sizeof(TesselMenuItem*) * kTesselMenuMaxItems));
  if (!menu->items) {
    PoolFree(menu);
    return nullptr;
  }
  menu->screen = screen;
  menu->resources = resources;
  return menu;
}

void TesselMenuDestroy(TesselMenu* menu) {
  if (!menu) return;
  if (menu->tableView) tesselMenu_unregisterForEvents(menu, FALSE);
  for (INT32 i = 0; i < menu->itemCount; ++i) {
    PoolFree(menu->items[i]->image);
    PoolFree(menu->items[i]->selectedImage);
    PoolFree(menu->items[i]);
  }
  PoolFree(menu->items);
  PoolFree(menu);
}

TesselMenuItem* TesselMenuAddItem(TesselMenu* menu, DUPixel* image, DUPixel* selected_image, DUSize size,
                                  TesselMenuAction action, void* context, BOOLEAN at_front) {
  auto* item = menu && menu->itemCount < kTesselMenuMaxItems
                   ? static_cast<TesselMenuItem*>(PoolAllocateZero(sizeof(TesselMenuItem)))
                   : nullptr;
  if (!item) {
    PoolFree(image);
    PoolFree(selected_image);
    DULogError("TesselMenuAddItem", "cannot add an item");
    return nullptr;
  }
  item->image = image;
  item->selectedImage = selected_image;
  item->size = size;
  item->action = action;
  item->context = context;
  if (at_front) {
    for (INT32 i = menu->itemCount; i > 0; --i) menu->items[i] = menu->items[i - 1];
    menu->items[0] = item;
  } else {
    menu->items[menu->itemCount] = item;
  }
  ++menu->itemCount;
  for (INT32 i = 0; i < menu->itemCount; ++i) menu->items[i]->index = i;
  return item;
}

TesselMenuItem* TesselMenuItemAtIndex(TesselMenu* menu, INT32 index) {
  if (!menu || index < 0 || index >= menu->itemCount) {
    DULogError("TesselMenuItemAtIndex", "index(%d) out of bounds", index);
    return nullptr;
  }
  return menu->items[index];
}

TesselMenuItem* TesselMenuSelectedItem(TesselMenu* menu) {
  if (!menu || !menu->tableView) return nullptr;
  INT32 row = UITableViewSelectedRow(menu->tableView);
  return row >= 0 && row < menu->rowCount && row < menu->itemCount ? menu->items[row] : nullptr;
}

void TesselMenuSetCloseCallback(TesselMenu* menu, TesselMenuCloseCallback callback, void* context) {
  if (!menu) return;
  menu->closeCallback = callback;
  menu->closeContext = context;
}

namespace {

void TileShadow(DUView* view, const TesselMenuPicture& p, DURect area, bool down, const char* missing,
                const char* failed) {
  if (!p.pixels) {
    DULogError("tesselMenu_createShadowViewForMenu", missing);
    return;
  }
  INT32 step = down ? p.size.height : p.size.width;
  INT32 end = down ? area.y + area.height : area.x + area.width;
  for (INT32 at = down ? area.y : area.x; step > 0 && at < end; at += step) {
    DUPoint point = down ? DUPoint{area.x, at} : DUPoint{at, area.y};
    EFI_STATUS status = DUCompositePixelBuffers(view->pixels, view->content_size, nullptr, p.pixels, p.size, point, 0,
                                                nullptr);
    if (status != EFI_SUCCESS && status != EFI_NOT_FOUND) DULogError("tesselMenu_createShadowViewForMenu", failed);
  }
}

// A frame of shadow pictures around the table: sides tiled down, corners, edges tiled along.
UINTN CreateShadowView(TesselMenu* menu) {
  const TesselMenuResources* r = menu->resources;
  if (!r) return 0;
  const TesselMenuPicture* s = r->shadow;
  DURect table = menu->tableView->frame;
  INT32 left = s[0].size.width, right = s[1].size.width, top = s[3].size.height, bottom = s[6].size.height;
  DURect frame = DURectMake(table.x - left, table.y - top, table.height + top + bottom, table.width + left + right);
  DUView* view = nullptr;
  if (DUViewCreate(frame, &view) != EFI_SUCCESS) {
    DULogError("tesselMenu_createShadowViewForMenu", "menu->shadowView is NULL");
    return 1;
  }
  (void)DUViewSetZOrder(view, kTesselMenuZOrder);  // within range
  (void)DUFillBufferRect(0xFFFFFFFF, view->pixels, view->content_size,
                         DURectMake(0, 0, frame.height, frame.width));  // the pixels exist
  INT32 w = frame.width, h = frame.height;
  TileShadow(view, s[0], DURectMake(0, top, table.height, left), true, "menu->resources->leftSideBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->leftSideBuffer) failed");
  TileShadow(view, s[1], DURectMake(w - right, top, table.height, right), true,
             "menu->resources->leftSideBuffer is NULL", "DUCompositePixelBuffers(menu->resources->rightSideBuffer) failed");
  TileShadow(view, s[3], DURectMake(left, 0, top, table.width), false, "menu->resources->topCenterBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->topLeftBuffer) failed");
  TileShadow(view, s[6], DURectMake(left, h - bottom, bottom, table.width), false,
             "menu->shadowResources->topCenterBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->topLeftBuffer) failed");
  TileShadow(view, s[2], DURectMake(0, 0, 1, 1), false, "menu->resources->topLeftBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->topLeftBuffer) failed");
  TileShadow(view, s[4], DURectMake(w - s[4].size.width, 0, 1, 1), false, "menu->resources->topRightBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->topRightBuffer) failed");
  TileShadow(view, s[5], DURectMake(0, h - s[5].size.height, 1, 1), false, "menu->resources->bottomLeftBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->bottomLeftBuffer) failed");
  TileShadow(view, s[7], DURectMake(w - s[7].size.width, h - s[7].size.height, 1, 1), false,
             "menu->resources->bottomRightBuffer is NULL",
             "DUCompositePixelBuffers(menu->resources->bottomRightBuffer) failed");
  EFI_STATUS status = DUScreenAddView(menu->screen, view);
  if (status != EFI_SUCCESS) {
    (void)DUViewDestroy(view);  // it is on no screen
    DULogError("tesselMenu_createShadowViewForMenu", "DUScreenAddView(menu->shadowView) failed with err: %d",
               INT32(status));
    return 1;
  }
  menu->shadowView = view;
  return 0;
}

BOOLEAN SwallowEverything(DUView*, TarnEventRecord*, void*) { return TRUE; }

UINTN RegisterForEvents(TesselMenu* menu) {
  if (menu->mouseMovedEventHandle) {
    DULogError("tesselMenu_registerForEvents", "menu->mouseMovedEventHandle is not NULL");
    return 1;
  }
  TarnEventProtocol* protocol = nullptr;
  EFI_STATUS status = ObtainCurrentTarnEventProtocol(&protocol);
  if (status != EFI_SUCCESS) {
    DULogError("tesselMenu_registerForEvents", "ObtainCurrentTarnEventProtocol failed with err: %d", INT32(status));
    return 1;
  }
  status = protocol->RegisterHandler(kTarnEventPointerMoved | 0x2, tesselMenu_pointerHandler,
                                     &menu->mouseMovedEventHandle, menu);
  if (status != EFI_SUCCESS) {
    menu->mouseMovedEventHandle = nullptr;
    DULogError("tesselMenu_registerForEvents", "tarnEventProtocol->RegisterHandler failed with err: %d", INT32(status));
    return 1;
  }
  // Nothing below an open menu sees the pointer.
  if (DUScreenRegisterResponder(menu->screen, menu->tableView, 0xFF, SwallowEverything, menu) != EFI_SUCCESS) {
    DULogError("tesselMenu_registerForEvents", "DUScreenRegisterResponder failed");
    return 1;
  }
  menu->responderRegistered = TRUE;
  return 0;
}

}  // namespace

UINTN TesselMenuShowAtPoint(TesselMenu* menu, DUPoint p) {
  if (!menu || !menu->screen || menu->tableView || menu->itemCount == 0) {
    DULogError("TesselMenuShowAtPoint", "menu cannot be shown");
    return 1;
  }
  INT32 scale = Scale();
  DUSize screen = menu->screen->size;
  // The table gives every row the first row's height, so that is the menu's height too: a
  // sum of unequal heights would cut off the last rows (or leave an empty strip).
  INT32 w = 0, h = menu->itemCount * menu->items[0]->size.height;
  for (INT32 i = 0; i < menu->itemCount; ++i) {
    if (!menu->items[i]->separator && menu->items[i]->size.width > w) w = menu->items[i]->size.width;
  }
  INT32 limit = Min(800 * scale, screen.height);
  menu->scrollable = h > limit;
  if (menu->scrollable) h = limit - 64 * scale;
  INT32 margin = 32 * scale;
  DURect frame = DURectMake(p.x, p.y, h, w);
  if (p.y + h > screen.height) {
    frame.y = p.y - (p.y + h - screen.height) - margin;
    if (frame.y < margin) frame.y = margin;
  }
  if (p.x + w > screen.width) {
    frame.x = menu->parent && menu->parent->tableView ? menu->parent->tableView->frame.x - w : screen.width - 16 - w;
  }
  if (tesselMenu_initTableView(menu, frame) != 0) return 1;  // logged inside
  EFI_STATUS status = DUScreenAddView(menu->screen, menu->tableView);
  if (status != EFI_SUCCESS) {
    (void)DUViewDestroy(menu->tableView);  // it is on no screen
    menu->tableView = nullptr;
    tesselMenu_releaseRows(menu);
    DULogError("TesselMenuShowAtPoint", "DUScreenAddView(menu->tableView) failed with err: %d", INT32(status));
    return 1;
  }
  (void)CreateShadowView(menu);  // a menu without its shadow still works; logged inside
  if (RegisterForEvents(menu) != 0) {
    tesselMenu_unregisterForEvents(menu, FALSE);
    return 1;
  }
  (void)DUScreenDraw(menu->screen);  // a failed transfer shows up in the next one
  return 0;
}

namespace {

EFI_STATUS ScrollStepDeferred(RunLoop*, void* context, UINTN) {
  auto* menu = static_cast<TesselMenu*>(context);
  menu->scrollQueued = FALSE;
  if (menu->scrollTimer) tesselMenu_scrollTimerScroll(menu);
  return 0;
}

// The timer runs at notify level; the step itself, which draws, runs from the run loop.
void EFIAPI ScrollTimerFired(EFI_EVENT, void* context) {
  auto* menu = static_cast<TesselMenu*>(context);
  if (menu->scrollQueued) return;
  menu->scrollQueued = TRUE;
  if (RunLoopExecuteDeferredFunc(ScrollStepDeferred, menu, 0, "tesselMenu_scrollTimerScroll") != 0) {
    menu->scrollQueued = FALSE;
  }
}

void StopScrollTimer(TesselMenu* menu) {
  TimerRelease(&menu->scrollTimer);
}

void CloseOpenSubmenu(TesselMenu* menu) {
  if (!menu->openSubmenu) return;
  TesselMenu* sub = menu->openSubmenu;
  menu->openSubmenu = nullptr;
  if (sub->openSubmenu) CloseOpenSubmenu(sub);
  tesselMenu_unregisterForEvents(sub, FALSE);
  sub->parent = nullptr;
}

EFI_STATUS MouseMovedDeferred(RunLoop*, void* context, UINTN) {
  auto* menu = static_cast<TesselMenu*>(context);
  if (!menu->tableView) return 0;  // closed meanwhile
  TesselMenuItem* item = TesselMenuSelectedItem(menu);
  TesselMenu* wanted = item ? item->submenu : nullptr;
  if (wanted && wanted == menu->openSubmenu) return 0;
  if (!wanted && !menu->openSubmenu) return 0;
  CloseOpenSubmenu(menu);
  if (!wanted) return 0;
  DURect row = TesselMenuRowRect(menu, item->index);
  wanted->parent = menu;
  if (TesselMenuShowAtPoint(wanted, DUPoint{row.x + row.width - 1, row.y}) != 0) {
    wanted->parent = nullptr;
    DULogError("tesselMenu_mouseMoved_deferred", "Impossible to show submenu. TesselMenuShowAtPoint(%p) failed",
               wanted);
    return 1;
  }
  menu->openSubmenu = wanted;
  return 0;
}

void FlashSelectedRow(TesselMenu* menu) {
  if (!menu->tableView) {
    DULogError("tesselMenu_flashSelectedRow", "menu->tableView is nil");
    return;
  }
  // The table's did-change callback stays quiet while the row blinks.
  UITableViewState* table = UITableViewStateOf(menu->tableView);
  UITableViewDidChange did_change = table ? table->did_change : nullptr;
  void* did_change_context = table ? table->did_change_context : nullptr;
  (void)UITableViewSetDidChangeCallback(menu->tableView, nullptr, nullptr);  // a live table
  INT32 row = UITableViewSelectedRow(menu->tableView);
  for (int i = 0; i < 2; ++i) {
    (void)UITableViewSetSelectedRow(menu->tableView, -1);
    (void)SleepFunnel(menu->screen, 66);
    (void)UITableViewSetSelectedRow(menu->tableView, row);
    (void)SleepFunnel(menu->screen, 66);
  }
  (void)UITableViewSetDidChangeCallback(menu->tableView, did_change, did_change_context);
}

EFI_STATUS MouseDownDeferred(RunLoop*, void* context, UINTN) {
  auto* menu = static_cast<TesselMenu*>(context);
  if (!menu->tableView) return 0;  // closed meanwhile
  TesselMenuItem* item = TesselMenuSelectedItem(menu);
  if (item && !item->separator) {
    if (item->submenu) return 0;  // the menu stays open on a submenu's row
    FlashSelectedRow(menu);
    if (item->action) item->action(item);
  }
  // The action may have closed the menu already.
  if (menu->tableView) tesselMenu_unregisterForEvents(menu, TRUE);
  return 0;
}

}  // namespace

void tesselMenu_scrollTimerScroll(TesselMenu* menu) {
  if (!menu->tableView) return;
  INT32 position = UITableViewScrollPosition(menu->tableView) + menu->scrollStep;
  INTN status = UITableViewSetScrollPosition(menu->tableView, position);
  menu->scrollStep += menu->scrollAcceleration;
  if (status != 0) {
    DULogError("tesselMenu_scrollTimerScroll", "UITableViewSetScrollPosition failed - err:%d", INT32(status));
    return;
  }
  (void)DUScreenDraw(menu->screen);  // a failed transfer shows up in the next one
}

void tesselMenu_selectItemAtIndex(TesselMenu* menu, DUPoint p) {
  if (!menu || !menu->tableView) return;
  DUView* table = menu->tableView;
  const DURect& f = table->frame;
  INT32 offset = UITableViewScrollPosition(table);
  bool can_up = offset != 0;
  bool can_down = offset + UITableViewContentSize(table).height > f.height;
  INT32 zone = 16;
  INT32 top_edge = f.y + (can_up ? zone : 0);
  INT32 bottom_edge = f.y + f.height - (can_down ? zone : 0);
  INT32 current = UITableViewSelectedRow(table);
  INT32 keep = menu->openSubmenu ? current : -1;
  INT32 row = keep;
  if (p.x < f.x || p.x >= f.x + f.width) {
    StopScrollTimer(menu);
  } else if (p.y >= top_edge && p.y < bottom_edge) {
    StopScrollTimer(menu);
    INT32 under = TesselMenuRowAtPoint(menu, p);
    if (under >= 0) {
      row = menu->items[under]->separator ? -1 : under;
    }
  } else {
    bool up = p.y < top_edge;
    INT32 past = up ? top_edge - p.y : p.y - bottom_edge + 1;
    if (past > 15) {
      menu->scrollAcceleration = up ? 2 : -2;
      INT32 magnitude = menu->scrollStep < 0 ? -menu->scrollStep : menu->scrollStep;
      if (magnitude < 12) magnitude = 12;
      menu->scrollStep = up ? magnitude : -magnitude;
    } else {
      menu->scrollStep = up ? 12 : -12;
      menu->scrollAcceleration = 0;
    }
    if (menu->scrollable && !menu->scrollTimer) {
      menu->scrollTimer = TimerCreate(ScrollTimerFired, menu, kTesselMenuScrollPeriod, TRUE);
    }
  }
  if (UITableViewSetSelectedRow(table, row) != 0) DULogError("tesselMenu_selectItemAtIndex", "UITableViewSetSelectedRow failed");
  (void)RunLoopExecuteDeferredFunc(MouseMovedDeferred, menu, 0, "tesselMenu_mouseMoved_deferred");  // refusals logged
}

void EFIAPI tesselMenu_pointerHandler(TarnEventRecord* event, void* context) {
  auto* menu = static_cast<TesselMenu*>(context);
  if (!event || !menu) return;
  DUPoint p{event->Position.X, event->Position.Y};
  UINT64 kind = event->Data & kTarnPointerActionMask;
  if ((event->Type & 0x2) && kind == kTarnPointerDown) {
    // A press on a parent's row belongs to the parent: the submenu must not close the chain.
    for (TesselMenu* up = menu->parent; up; up = up->parent) {
      if (up->tableView && DUPointInRect(p, up->tableView->frame)) return;
    }
    tesselMenu_selectItemAtIndex(menu, p);
    (void)RunLoopExecuteDeferredFunc(MouseDownDeferred, menu, 0, "tesselMenu_mouseDown_deferred");  // refusals logged
  } else if (event->Type & kTarnEventPointerMoved) {
    tesselMenu_selectItemAtIndex(menu, p);
  }
}

void tesselMenu_unregisterForEvents(TesselMenu* menu, BOOLEAN with_parents) {
  if (!menu) return;
  TesselMenu* chain[kTesselMenuMaxDepth];
  INT32 count = 0;
  for (TesselMenu* m = menu; m && count < kTesselMenuMaxDepth; m = with_parents ? m->parent : nullptr) {
    chain[count++] = m;
  }
  TarnEventProtocol* protocol = nullptr;
  (void)ObtainCurrentTarnEventProtocol(&protocol);  // always succeeds
  for (INT32 i = 0; i < count; ++i) {
    TesselMenu* m = chain[i];
    if (m->openSubmenu && (i + 1 >= count || chain[i + 1] != m->openSubmenu)) CloseOpenSubmenu(m);
    if (!m->mouseMovedEventHandle) {
      DULogError("tesselMenu_unregisterForEvents", "menu->mouseMovedEventHandle is NULL");
    } else {
      EFI_STATUS status = protocol->UnregisterHandler(m->mouseMovedEventHandle);
      if (status != EFI_SUCCESS) {
        DULogError("tesselMenu_unregisterForEvents", "tarnEventProtocol->UnregisterHandler failed with err: %d",
                   INT32(status));
      }
      m->mouseMovedEventHandle = nullptr;
    }
    if (m->responderRegistered) {
      EFI_STATUS status = DUScreenUnregisterResponder(m->screen, m->tableView);
      if (status != EFI_SUCCESS) {
        DULogError("tesselMenu_unregisterForEvents", "DUScreenUnregisterResponder failed with err: %d", INT32(status));
      }
      m->responderRegistered = FALSE;
    }
    StopScrollTimer(m);
  }
  DUScreen* screen = menu->screen;
  for (INT32 i = 0; i < count; ++i) {
    TesselMenu* m = chain[i];
    if (m->tableView) (void)DUViewSetVisible(m->tableView, FALSE);  // a live view
    if (m->shadowView) (void)DUViewSetVisible(m->shadowView, FALSE);
    if (m->parent && m->parent->openSubmenu == m) m->parent->openSubmenu = nullptr;
    if (m->closeCallback) m->closeCallback(m, m->closeContext);
  }
  if (screen) (void)DUScreenDraw(screen);  // a failed transfer shows up in the next one
  for (INT32 i = 0; i < count; ++i) {
    TesselMenu* m = chain[i];
    if (m->tableView) (void)DUScreenRemoveView(m->screen, m->tableView);  // ours, on this screen
    if (m->shadowView) (void)DUScreenRemoveView(m->screen, m->shadowView);
    m->tableView = nullptr;
    m->shadowView = nullptr;
    tesselMenu_releaseRows(m);
  }
}
