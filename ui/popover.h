// A popover: a framed vertical list of up to 16 picture items (the login window's guest and
// option menus). Pressing on an item highlights it, releasing fires its callback through
// the run loop; a press outside closes a popover that does not stay open.
#pragma once

#include "draw/screen.h"

constexpr UINT32 kUIViewKindPopover = 5;
constexpr UINT32 kUIPopoverMaxItems = 16;
constexpr UINT32 kUIPopoverEventMask = 0xFF;
constexpr UINT32 kUIPopoverZOrder = 10000;

typedef void (*UIPopoverItemCallback)(DUView* popover, void* context);

struct UIPopoverInfo {
  INT32 width;  // at least 1
  BOOLEAN stays_open;
  const DUPixel* top_frame_image;
  const DUPixel* tile_frame_image;
  const DUPixel* bottom_frame_image;
  DUSize top_frame_size;
  DUSize tile_frame_size;
  DUSize bottom_frame_size;
  UINT32 item_count;  // at most 16
  const DUPixel* item_images[kUIPopoverMaxItems];
  const DUPixel* item_highlighted_images[kUIPopoverMaxItems];  // null: the plain image
  DUSize item_sizes[kUIPopoverMaxItems];
  INT32 item_spacing[kUIPopoverMaxItems];  // the gap below each item
  BOOLEAN centre_first_item;
  UIPopoverItemCallback item_callbacks[kUIPopoverMaxItems];
  void* item_contexts[kUIPopoverMaxItems];
};

struct UIPopoverState {
  UIPopoverInfo info;
  INT32 highlighted;  // -1 none
  INT32 clicked;
  BOOLEAN pressed;
  INT32 top_margin;        // 30 s
  INT32 bottom_reduction;  // 26 s
  INT32 hit_reduction;     // 25 s
  struct UIViewTicket* ticket;  // for the deferred item callback
};

// The information is copied; the pictures it points at must outlive the view. 0, or 1.
UINTN UIPopoverCreate(DUView** out_view, const UIPopoverInfo& info);
// Registers for event mask 0xFF with the view's screen. 0, or 1 (logged).
UINTN UIPopoverRegisterForEvents(DUView* view);
INT32 UIPopoverHeight(DUView* view);
UIPopoverState* UIPopoverStateOf(DUView* view);
// The item's rectangle in the view's coordinates (empty for a bad index).
DURect UIPopoverItemRect(DUView* view, INT32 item);
