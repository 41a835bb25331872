// A scroll indicator beside a table view: a track tiled down its height and a thumb (top
// cap, tiled middle, bottom cap) whose length and place follow the table's scroll offset.
#pragma once

#include "draw/screen.h"

constexpr UINT32 kUIViewKindScrollIndicator = 4;

struct UIScrollIndicatorPictures {
  const DUPixel* top;
  DUSize top_size;
  const DUPixel* middle;
  DUSize middle_size;
  const DUPixel* bottom;
  DUSize bottom_size;
  const DUPixel* track;
  DUSize track_size;
};

// The pictures are referenced and must outlive the view. The table gets the indicator
// attached. 0, or 1 (logged).
UINTN UIScrollIndicatorCreate(DUView** out_view, const DURect& frame, const UIScrollIndicatorPictures& pictures,
                              DUView* table);
// The thumb in the indicator's coordinates.
DURect UIScrollIndicatorThumbRect(DUView* indicator);
// Redraws, marks the view and draws its screen. 0, or 1.
UINTN UIScrollIndicatorRefresh(DUView* indicator);
// The table is going: the indicator forgets it (and draws nothing more).
void UIScrollIndicatorTableGone(DUView* indicator);
