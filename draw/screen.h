// The screen of a login window: an off-screen back buffer of the display's size, the views
// in ascending z-order between an optional background and cursor view, and the fill colour
// for what no view covers. DUScreenDraw repaints only the union of what changed.
#pragma once

#include "draw/view.h"

// The run loop's records on a screen (input registration, responders, lock, animations);
// the drawing layer only calls back when a view goes or the screen is destroyed.
struct DUScreenOps {
  void (*view_removed)(DUScreen* screen, DUView* view);  // drop the view's responder record
  void (*destroyed)(DUScreen* screen);                   // drop everything the run loop keeps
};

struct DUScreen {
  DUPixel* back_buffer;
  DUSize size;
  DUView* views;              // ascending z-order
  DUView* background;
  DUView* cursor;
  DUPixel fill_colour;
  BOOLEAN drawn_once;
  DURect damage;              // where removed views were; repainted with the next draw
  // Owned by the run loop and the view animations.
  void* input_registration;
  void* responders;
  void* lock;
  void* animation;
  const DUScreenOps* ops;
};

// EFI_NOT_READY before DUInitialize or when the display reports no size;
// EFI_OUT_OF_RESOURCES. The back buffer starts filled with fill_colour.
EFI_STATUS DUScreenCreate(DUPixel fill_colour, DUScreen** screen);
EFI_STATUS DUScreenDestroy(DUScreen* screen);
// The view must fit in the screen (EFI_INVALID_PARAMETER); it is centred, the previous
// background view destroyed and the whole screen redrawn next time.
EFI_STATUS DUScreenSetBackgroundView(DUScreen* screen, DUView* view);
// Destroys the previous cursor view (null: just that) and marks the new one for display.
EFI_STATUS DUScreenSetCursorView(DUScreen* screen, DUView* view);
// Inserts the view before the first one of greater z-order (equal z-orders keep the order
// they were added in). EFI_INVALID_PARAMETER when it already belongs to a screen.
EFI_STATUS DUScreenAddView(DUScreen* screen, DUView* view);
// Unlinks and destroys the view. EFI_NOT_FOUND when it is in no list of the screen.
EFI_STATUS DUScreenRemoveView(DUScreen* screen, DUView* view);
// Makes an empty group view and adds it to the screen.
EFI_STATUS DUViewCreateGroup(DUScreen* screen, DUView** view);
// Repaints what changed and transfers it to the display. EFI_NOT_READY before
// DUInitialize, EFI_BAD_BUFFER_SIZE without a back buffer, else the first failing view's
// or the display's error.
EFI_STATUS DUScreenDraw(DUScreen* screen);

// Puts view into the screen's list by its z-order (after equal ones); no callbacks.
void DUScreenInsertView(DUScreen* screen, DUView* view);
// Takes view out of the screen's list or background/cursor slot without destroying it.
// False when it was in none.
bool DUScreenUnlinkView(DUScreen* screen, DUView* view);
