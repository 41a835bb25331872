// The carousel: the login screen's horizontal strip of user tiles. It shows a window of
// tiles, pages through them with "previous" and "next" arrows, marks the tiles outside the
// window with a pocket picture at either end, and turns a clicked tile into the selected
// tile centred in the strip. Everything is drawn into the carousel's own view by one routine
// parameterised by a draw operation, a frame number and a frame count.
//
// Results are small integers: 0 success, 1 failure (logged with the operation's name).
#pragma once

#include "draw/screen.h"
#include "efi/protocols/tarn_event.h"

// Tile pictures by index; index 0 is unused.
enum UICarouselTileBuffer : UINT32 {
  kUICarouselTileNormal = 1,
  kUICarouselTilePressed = 2,
  kUICarouselTileKeyboard = 3,
  kUICarouselTileKeyboardPressed = 4,
  kUICarouselTileSelected = 5,
  kUICarouselTileSelectedPressed = 6,
};
constexpr UINT32 kUICarouselTileBufferSlots = 7;
typedef DUPixel* UICarouselTileBuffers[kUICarouselTileBufferSlots];

typedef void (*UICarouselCallback)(DUView* carousel, void* context);

// Copied at creation (the tile array too); the pictures stay the caller's and must outlive
// the carousel.
struct UICarouselTilesInfo {
  INT32 tileCount;
  const UICarouselTileBuffers* tiles;
  INT32 tileHeight;
  INT32 tileWidth;
  INT32 spacing;
  INT32 visibleCount;
  DUPixel* goNextUpImage;
  DUPixel* goNextDownImage;
  DUSize goNextImageSize;
  DUPixel* goPrevUpImage;
  DUPixel* goPrevDownImage;
  DUSize goPrevImageSize;
  UICarouselCallback didSelect;
  void* didSelectContext;
  UICarouselCallback didDeselect;
  void* didDeselectContext;
  UICarouselCallback midpoint;  // once during the select animation
  void* midpointContext;
};

struct UICarouselMagicPockets {
  DUPixel* leftImage;
  DUSize leftSize;
  DUPixel* rightImage;
  DUSize rightSize;
};

constexpr INT32 UICarouselViewListState = 0;
constexpr INT32 UICarouselViewSelectedState = 1;

// Draw operations; frame f of n frames sets the transparency of the fading ones.
enum UICarouselDrawOperation : INT32 {
  DrawTilesList = 0,            // the list at rest
  DrawCenterTile = 1,           // the centred tile again
  DrawSelectInPlace = 2,        // select a tile that already sits at the centre (n = 0: at once)
  DrawDeselectInPlace = 3,      // deselect a tile that sits at the centre: the others move back
  DrawListFadeIn = 4,           // deselect, second phase
  DrawListFadeOut = 5,          // select, first phase
  DrawSelectedFadeIn = 6,       // select, second phase: the chosen tile appears at the centre
  DrawSelectedFadeOut = 7,      // deselect, first phase
};

enum UICarouselTracking : INT32 {
  kUICarouselTrackingNone = 0,
  kUICarouselTrackingStrip = 1,
  kUICarouselTrackingTile = 2,
  kUICarouselTrackingPrevArrow = 3,
  kUICarouselTrackingNextArrow = 4,
};

// The view's private data.
struct UICarouselState {
  UICarouselTilesInfo info;
  UICarouselMagicPockets pockets;
  INT32 state;
  INT32 scrollOffset;       // 0 or negative
  INT32 selectedIndex;      // -1 none
  INT32 keyboardIndex;      // -1 none
  INT32 tracking;
  BOOLEAN centerPressed;
  BOOLEAN centerInside;
  BOOLEAN busy;             // a deferred action is pending: pointer events are swallowed
  BOOLEAN listRectValid;
  DURect listRect;
  INT32 minimumOffset;      // 0: not computed yet
};

// The pointer events the carousel registers for.
constexpr UINT32 kUICarouselEventMask = 0x6F;

UINTN UICarouselViewCreate(DUView** out_view, const UICarouselTilesInfo* info, const UICarouselMagicPockets* pockets);
UINTN UICarouselViewRegisterForEvents(DUView* view);
UINTN UICarouselViewUnregisterForEvents(DUView* view);

// Page one window back or forward with a short scroll animation. 0 when it scrolled, 1 when
// there is nowhere to go or the carousel is not listing.
UINTN UICarouselViewScrollBack(DUView* view);
UINTN UICarouselViewScrollForward(DUView* view);

UINTN UICarouselViewSetKeyboardSelectionIndex(DUView* view, INT32 index);
UINTN UICarouselViewMoveKeyboardSelectionLeft(DUView* view);
UINTN UICarouselViewMoveKeyboardSelectionRight(DUView* view);
// Selects the highlighted tile with animation; 1 when nothing is highlighted.
UINTN UICarouselViewActivateKeyboardSelection(DUView* view);

// Makes tile index the selected, centred tile; did-select is called, then the carousel is in
// the selected state. Nothing when a tile is selected already.
UINTN UICarouselViewSelectTile(DUView* view, INT32 index, BOOLEAN animate);
// Calls did-deselect and animates back to the list. Nothing while listing.
UINTN UICarouselViewReturnToList(DUView* view);
// -1 for none (or a null view).
INT32 UICarouselViewSelectedIndex(DUView* view);
UINTN UICarouselViewDrawCenterTile(DUView* view);

// The carousel's state record, null for a view that is not a carousel.
UICarouselState* UICarouselViewState(DUView* view);

// Geometry, in the view's coordinates (exposed for tests and the login window's layout).
DURect UICarouselListRect(UICarouselState* state, const DUView* view);
DURect UICarouselCenterRect(UICarouselState* state, const DUView* view);
DURect UICarouselRestRect(UICarouselState* state, const DUView* view, INT32 index);
DURect UICarouselPrevArrowRect(UICarouselState* state, const DUView* view);
DURect UICarouselNextArrowRect(UICarouselState* state, const DUView* view);
INT32 UICarouselMinimumOffset(UICarouselState* state);
bool UICarouselCanScrollBack(UICarouselState* state);
bool UICarouselCanScrollForward(UICarouselState* state);
// The tile under a point of the view, -1 for none.
INT32 UICarouselTileAtPoint(UICarouselState* state, const DUView* view, DUPoint point);
// Transparency of the fading layer of an operation at frame f of n (0 opaque).
UINT8 UICarouselTileAlpha(INT32 operation, INT32 frame, INT32 frames);

// One drawing pass into the view's buffer; marks the view for display.
void UICarouselDraw(DUView* view, INT32 operation, INT32 frame, INT32 frames);

// The pointer responder (exposed for tests that hand it events directly).
BOOLEAN _UICarouselViewEventResponder_ListClicked(DUView* view, TarnEventRecord* event, void* context);
