// A single clickable tile: the normal picture, or in selected mode the selected picture and
// while pressed inside it the selected-and-pressed one. A release inside calls back through
// the run loop.
#pragma once

#include "draw/screen.h"

constexpr UINT32 kUIViewKindSingleTile = 6;
constexpr UINT32 kUITileImageCount = 8;
constexpr UINT32 kUITileImageNormal = 1;
constexpr UINT32 kUITileImageSelected = 5;
constexpr UINT32 kUITileImageSelectedPressed = 6;
constexpr UINT32 kUISingleTileModeSelected = 1;

typedef void (*UISingleTileClick)(void* context, void* same_context);

struct UISingleTileInfo {
  const DUPixel* images[kUITileImageCount];  // indices 1, 5 and 6 are used
  DUSize size;
  UINT32 mode;
  UISingleTileClick click;
  void* context;
};

struct UISingleTileState {
  UISingleTileInfo info;
  BOOLEAN pressed;
  BOOLEAN inside;
  struct UIViewTicket* ticket;  // for the deferred click
};

// The pictures are referenced and must outlive the view; the view is size big at {0, 0}.
// 0, or 1 (logged).
UINTN UISingleTileViewCreate(DUView** out_view, const UISingleTileInfo& info);
UINTN UISingleTileViewRegisterForEvents(DUView* view);
UINTN UISingleTileViewSetMode(DUView* view, UINT32 mode);
UISingleTileState* UISingleTileStateOf(DUView* view);
