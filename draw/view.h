// Views: rectangles on a screen that own a pixel buffer, stacked by z-order, redrawn lazily
// (a change only marks the view; DUScreenDraw repaints the marked areas) and attached to
// one another by anchor points so that moving one moves the others.
#pragma once

#include "draw/composite.h"
#include "draw/geometry.h"

struct DUScreen;
struct DUView;

constexpr UINT32 kDUViewKindMax = 16;
constexpr UINT32 kDUViewKindGroup = 10;         // holds attachments, never drawn
constexpr UINT32 kDUViewKindDestroyed = 0xFDEAD;  // set on destroy; a second destroy is refused
constexpr UINT32 kDUZOrderMin = 1000;
constexpr UINT32 kDUZOrderMax = 10000;
constexpr UINT32 kDUZOrderDefault = 5000;

// Draws the view into its screen's back buffer inside clip. EFI_NOT_FOUND: nothing of it
// lies in clip.
typedef EFI_STATUS (*DUViewDrawFunction)(DUView* view, const DURect* clip);
typedef void (*DUViewNotifyFunction)(DUView* view);
typedef void (*DUViewFrameFunction)(DUView* view, const DURect* new_frame);
typedef EFI_STATUS (*DUViewTransparencyFunction)(DUView* view, UINT8 transparency);
typedef EFI_STATUS (*DUViewVisibilityFunction)(DUView* view, BOOLEAN visible);

struct DUViewCallbacks {
  DUViewDrawFunction draw;                        // default: DUViewDrawDefault
  DUViewNotifyFunction added_to_screen;
  DUViewFrameFunction frame_will_change;
  DUViewTransparencyFunction transparency_changed;
  DUViewNotifyFunction removed_from_screen;
  DUViewNotifyFunction destroy;                   // frees what user_data holds
  DUViewVisibilityFunction visibility_changed;    // an error stops DUViewSetVisible
};

// A view animation (kept by the widget layer) takes over moves and transparency changes
// while it runs.
struct DUViewAnimationOps {
  BOOLEAN (*running)(DUView* view);
  EFI_STATUS (*set_origin)(DUView* view, DUPoint origin);
  EFI_STATUS (*set_transparency)(DUView* view, UINT8 transparency);
  void (*release)(DUView* view);                  // frees view->animation
};

struct DUAttachment {
  DUAttachment* next;
  DUView* other;
  UINT32 anchor;        // on this view
  UINT32 other_anchor;  // on the other view
  DUPoint offset;
};

struct DUView {
  DUPixel* pixels;        // content_size pixels, owned
  UINTN pixels_size;      // bytes
  DUSize content_size;
  BOOLEAN needs_display;
  DURect frame;
  DURect dirty;           // what the view covered when last drawn
  DUScreen* screen;
  UINT32 kind;
  DUViewCallbacks callbacks;
  void* user_data;
  UINT32 tag;
  UINT8 transparency;     // 0 opaque .. 255 invisible
  BOOLEAN visible;
  DUScaling scaling;      // scaling.cache points at scaled_copies
  DUScaledCopy* scaled_copies;
  DUAttachment* attachments;
  UINT32 z_order;
  DUView* next;           // in the screen's list
  DUView* follower;       // moved to the same origin by DUViewSetOrigin
  void* animation;
  const DUViewAnimationOps* animation_ops;
};

// A view with a buffer of the frame's size, fully transparent (none for an empty frame);
// visible, opaque, z-order 5000, marked for display. EFI_OUT_OF_RESOURCES.
EFI_STATUS DUViewCreate(const DURect& frame, DUView** view);
// The same with a pool buffer of pixels (byte_size bytes, at least the frame's pixels) that
// the view takes over, also on failure. EFI_INVALID_PARAMETER when the buffer is too small.
EFI_STATUS DUViewCreateWithImage(const DURect& frame, DUPixel* pixels, UINTN byte_size, DUView** view);
// Replaces the buffer by one of the same content size and marks the view for display; the
// old buffer is freed. Logs and returns 1 for a null view or buffer or another size.
UINTN DUViewSwapImageWithImage(DUView* view, DUPixel* pixels, DUSize size, UINTN byte_size);
// Runs the destroy callback, removes the attached views from their screens, takes the view
// off its screen and frees it. EFI_INVALID_PARAMETER for a destroyed view (kind above 16).
EFI_STATUS DUViewDestroy(DUView* view);

// Composites the view's buffer into its screen's back buffer at its frame origin.
EFI_STATUS DUViewDrawDefault(DUView* view, const DURect* clip);

// A new size gets a new (transparent) buffer when the old one is too small for it.
// EFI_OUT_OF_RESOURCES leaves the view as it was.
EFI_STATUS DUViewSetFrame(DUView* view, const DURect& frame);
// While an animation runs on the view, the next two go to the animation instead.
EFI_STATUS DUViewSetOrigin(DUView* view, DUPoint origin);
EFI_STATUS DUViewSetVisible(DUView* view, BOOLEAN visible);
EFI_STATUS DUViewSetTransparency(DUView* view, UINT8 transparency);
// What the animations themselves call: the plain move and transparency change.
EFI_STATUS DUViewSetOriginDirect(DUView* view, DUPoint origin);
EFI_STATUS DUViewSetTransparencyDirect(DUView* view, UINT8 transparency);
EFI_STATUS DUViewSetNeedsDisplay(DUView* view);
// 1000..10000, else EFI_INVALID_PARAMETER. Takes effect in a screen's order when the view
// is next added.
EFI_STATUS DUViewSetZOrder(DUView* view, UINT32 z_order);
EFI_STATUS DUViewSetKind(DUView* view, UINT32 kind);  // at most 16
// A null argument keeps the current one.
EFI_STATUS DUViewSetCallbacks(DUView* view, DUViewDrawFunction draw, DUViewNotifyFunction destroy,
                              DUViewVisibilityFunction visibility_changed, void* user_data);
EFI_STATUS DUViewSetTag(DUView* view, UINT32 tag);
EFI_STATUS DUViewGetTag(const DUView* view, UINT32* tag);

// Keeps other's other_anchor at view's anchor plus offset: records the pair on both views
// (the mirror with the negated offset on other) and moves other there now.
EFI_STATUS DUViewAttach(DUView* view, UINT32 anchor, DUView* other, UINT32 other_anchor, DUPoint offset);
// Attaches other and every view attached to it to group, keeping their current places.
EFI_STATUS DUViewAttachGroup(DUView* group, DUView* other);
// Moves every view attached to view by its anchors.
void DUViewLayoutAttachments(DUView* view);
// Drops every attachment between view and other, in both directions.
void DUViewDetach(DUView* view, DUView* other);
