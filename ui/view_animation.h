// View animations: a view moves to a point or changes its transparency over a duration, one
// step per tick of its screen's animation timer (periodic, 34 ms). The timer's notification
// only defers the tick to the run loop; the tick steps every animated view, draws the
// screen, and ends the timer when nothing is left to animate.
#pragma once

#include "draw/screen.h"

constexpr UINT32 kUIAnimationFrameMilliseconds = 34;
constexpr UINT64 kUIAnimationTimerPeriod = 340000;

// Option bits.
constexpr UINT32 kUIAnimationLinear = 1;
constexpr UINT32 kUIAnimationEaseIn = 2;
constexpr UINT32 kUIAnimationEaseOut = 4;
constexpr UINT32 kUIAnimationEaseInOut = 6;
constexpr UINT32 kUIAnimationCurveMask = 7;
constexpr UINT32 kUIAnimationRepeat = 8;
constexpr UINT32 kUIAnimationGoBackOnce = 16;

typedef void (*UIAnimationCompletion)(DUView* view, void* context);
// Called on every tick; returns TRUE while it wants more ticks.
typedef BOOLEAN (*UIAnimationCustomStep)(DUView* view, void* context);

struct UIAnimationTrack {
  BOOLEAN active;
  INT32 frame_count;
  INT32 frame_index;
  DUFixed step_x;
  DUFixed step_y;
  DUPoint start;
  DUFixed x;  // current, 16.16
  DUFixed y;
  DUPoint target;
  UINT32 options;
  BOOLEAN go_back;  // the one return of kUIAnimationGoBackOnce is still due
};

struct UIViewAnimation {
  BOOLEAN active;
  UINT32 duration;  // milliseconds
  UINT32 options;
  UIAnimationTrack move;
  UIAnimationTrack fade;  // transparency in x
  UIAnimationCompletion move_done;
  void* move_done_context;
  UIAnimationCompletion fade_done;
  void* fade_done_context;
  UIAnimationCustomStep custom_step;
  void* custom_step_context;
};

// Results: 0, or 1 (refused or failed; logged where it is a fault).
// Creates the view's record (options linear) when missing.
UINTN UIViewAnimationSetDuration(DUView* view, UINT32 milliseconds);
UINTN UIViewAnimationSetOptions(DUView* view, UINT32 options);
// Refused when the target is where the view is, or the view is on no screen.
UINTN UIViewAnimateMove(DUView* view, DUPoint target);
UINTN UIViewAnimateTransparency(DUView* view, UINT8 target, UINT32 options, UINT32 milliseconds);
UINTN UIViewAnimationSetMoveCompletion(DUView* view, UIAnimationCompletion callback, void* context);
UINTN UIViewAnimationSetTransparencyCompletion(DUView* view, UIAnimationCompletion callback, void* context);
// Keeps the screen's timer running while the step returns TRUE.
UINTN UIViewAnimationSetCustomStep(DUView* view, UIAnimationCustomStep step, void* context);
BOOLEAN UIViewAnimationIsRunning(const DUView* view);
UIViewAnimation* UIViewAnimationOf(const DUView* view);

// One step of every animated view of the screen (and its cursor view), then DUScreenDraw;
// the timer ends when nothing is active. Returns the number of views still animating.
UINTN UIViewAnimationTick(DUScreen* screen);
BOOLEAN UIViewAnimationTimerRunning(const DUScreen* screen);
// Ends the screen's timer; call before the screen is destroyed.
void UIViewAnimationStopScreen(DUScreen* screen);
