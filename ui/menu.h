// The Tessel menu: a pop-up column of picture rows with a drop shadow, a tick on the chosen
// row, submenus that open to the right while the pointer rests on their row, and scrolling
// by hovering over the arrow strips when the menu is taller than the screen allows.
//
// The rows are a table view (ui/table_view.h) with the menu's own row and strip drawing
// (ui/menu_rows.cpp); its selected row and scroll position are the menu's.
//
// Results are small integers: 0 success, non-zero failure (logged with the operation's name).
#pragma once

#include "draw/screen.h"
#include "efi/protocols/tarn_event.h"

struct TesselMenu;
struct TesselMenuItem;

typedef void (*TesselMenuAction)(TesselMenuItem* item);
typedef void (*TesselMenuCloseCallback)(TesselMenu* menu, void* context);

struct TesselMenuItem {
  BOOLEAN separator;  // cannot be chosen
  DUPixel* image;     // the item's; freed with the menu
  DUPixel* selectedImage;
  DUSize size;
  TesselMenuAction action;
  void* context;
  TesselMenu* submenu;
  BOOLEAN checked;
  INT32 index;
};

struct TesselMenuPicture {
  DUPixel* pixels;
  DUSize size;
};

// Shared by every menu built from one archive; the owner keeps it alive.
struct TesselMenuResources {
  TesselMenuPicture baseSelection;
  TesselMenuPicture triangleLeft, triangleLeftSelected;
  TesselMenuPicture triangleUp, triangleUpSelected;
  TesselMenuPicture triangleDown, triangleDownSelected;
  TesselMenuPicture tick, tickSelected;
  // left, right, top left, top centre, top right, bottom left, bottom centre, bottom right
  TesselMenuPicture shadow[8];
};

constexpr INT32 kTesselMenuMaxItems = 512;
constexpr INT32 kTesselMenuMaxDepth = 8;
constexpr UINT32 kTesselMenuZOrder = 8000;
constexpr DUPixel kTesselMenuBackground = 0x0DFFFFFF;
// The scroll timer's period: 50 ms.
constexpr UINT64 kTesselMenuScrollPeriod = 500000;

struct TesselMenu {
  DUScreen* screen;
  INT32 itemCount;
  TesselMenuItem** items;
  DUView* tableView;
  DUView* shadowView;
  BOOLEAN scrollable;
  EFI_EVENT scrollTimer;
  BOOLEAN scrollQueued;  // a timer tick's step waits on the run loop
  TarnEventHandle mouseMovedEventHandle;
  BOOLEAN responderRegistered;
  INT32 scrollStep;
  INT32 scrollAcceleration;
  TesselMenu* openSubmenu;
  TesselMenu* parent;
  TesselMenuCloseCallback closeCallback;
  void* closeContext;
  const TesselMenuResources* resources;
  // What the table view shows while the menu is open (it refers to them): one entry per row.
  DUPixel** rowImages;
  DUPixel** rowSelectedImages;
  DUSize* rowSizes;
  INT32 rowCount;
};

// An empty menu on screen. Null when memory runs out.
TesselMenu* TesselMenuCreate(DUScreen* screen, const TesselMenuResources* resources);
// Closes the menu if it is showing and frees it, its items and their pictures (not submenus).
void TesselMenuDestroy(TesselMenu* menu);
// Appends (or with at_front inserts before the others) an item that takes over its
// pictures (pool blocks). Null on failure, the pictures then freed.
TesselMenuItem* TesselMenuAddItem(TesselMenu* menu, DUPixel* image, DUPixel* selected_image, DUSize size,
                                  TesselMenuAction action, void* context, BOOLEAN at_front);

UINTN TesselMenuShowAtPoint(TesselMenu* menu, DUPoint point);
TesselMenuItem* TesselMenuItemAtIndex(TesselMenu* menu, INT32 index);
// The item of the selected row, or null.
TesselMenuItem* TesselMenuSelectedItem(TesselMenu* menu);
void TesselMenuSetCloseCallback(TesselMenu* menu, TesselMenuCloseCallback callback, void* context);
// Unregisters and hides the menu (and with with_parents its chain of parents), calls the
// close callbacks, draws the screen once and removes the views.
void tesselMenu_unregisterForEvents(TesselMenu* menu, BOOLEAN with_parents);

// The pointer handler the menu registers with the input-event protocol (mask 3).
void EFIAPI tesselMenu_pointerHandler(TarnEventRecord* event, void* context);
// Hover at a screen point: selection, arrow-strip scrolling, then the deferred submenu check.
void tesselMenu_selectItemAtIndex(TesselMenu* menu, DUPoint point);
// One step of the scroll timer.
void tesselMenu_scrollTimerScroll(TesselMenu* menu);

// The row under a screen point of an open menu, -1 outside its rows.
INT32 TesselMenuRowAtPoint(TesselMenu* menu, DUPoint point);
// The row's rectangle in screen coordinates (scrolled); empty when the menu is closed.
DURect TesselMenuRowRect(TesselMenu* menu, INT32 row);

// The table view of a menu being shown, with its rows and drawing hooks (ui/menu_rows.cpp);
// the row arrays are released by tesselMenu_releaseRows once the table is gone.
UINTN tesselMenu_initTableView(TesselMenu* menu, const DURect& frame);
void tesselMenu_releaseRows(TesselMenu* menu);
