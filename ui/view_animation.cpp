#include "ui/view_animation.h"

#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/run_loop.h"
#include "ui/timer.h"
#include "ui/view_animation_sine.h"

namespace {

// Kept in screen->animation. A tick deferred to the run loop holds the record; when the
// screen stops meanwhile the deferral frees it.
struct ScreenAnimation {
  DUScreen* screen;
  EFI_EVENT timer;
  BOOLEAN tick_queued;
};

UIViewAnimation* Record(const DUView* view) { return view ? static_cast<UIViewAnimation*>(view->animation) : nullptr; }

BOOLEAN Running(DUView* view) { return UIViewAnimationIsRunning(view); }

EFI_STATUS SetOrigin(DUView* view, DUPoint origin) {
  // An explicit move wins over the animation.
  Record(view)->move.active = FALSE;
  Record(view)->active = Record(view)->fade.active;
  return DUViewSetOriginDirect(view, origin);
}

EFI_STATUS SetTransparency(DUView* view, UINT8 transparency) {
  Record(view)->fade.active = FALSE;
  Record(view)->active = Record(view)->move.active;
  return DUViewSetTransparencyDirect(view, transparency);
}

void Release(DUView* view) {
  PoolFree(view->animation);
  view->animation = nullptr;
}

constexpr DUViewAnimationOps kAnimationOps = {Running, SetOrigin, SetTransparency, Release};

UIViewAnimation* Ensure(DUView* view) {
  if (!view) return nullptr;
  if (!view->animation) {
    auto* record = static_cast<UIViewAnimation*>(PoolAllocateZero(sizeof(UIViewAnimation)));
    if (!record) return nullptr;
    record->options = kUIAnimationLinear;
    view->animation = record;
    view->animation_ops = &kAnimationOps;
  }
  return Record(view);
}

EFI_STATUS TickDeferred(RunLoop*, void* context, UINTN) {
  auto* record = static_cast<ScreenAnimation*>(context);
  record->tick_queued = FALSE;
  if (!record->screen) {
    PoolFree(record);
    return EFI_SUCCESS;
  }
  (void)UIViewAnimationTick(record->screen);  // drawing failures are the screen's to log
  return EFI_SUCCESS;
}

void EFIAPI TimerFired(EFI_EVENT, void* context) {
  auto* record = static_cast<ScreenAnimation*>(context);
  if (record->tick_queued || !record->screen) return;
  if (RunLoopExecuteDeferredFunc(TickDeferred, record, 0, "_UIViewAnimationTick") == 0) record->tick_queued = TRUE;
}

UINTN StartTimer(DUScreen* screen) {
  auto* record = static_cast<ScreenAnimation*>(screen->animation);
  if (record && record->timer) return 0;
  if (!record) {
    record = static_cast<ScreenAnimation*>(PoolAllocateZero(sizeof(ScreenAnimation)));
    if (!record) return 1;
    record->screen = screen;
    screen->animation = record;
  }
  record->timer = TimerCreate(TimerFired, record, kUIAnimationTimerPeriod, TRUE);
  if (!record->timer) {
    DULogError("UIViewAnimationStartTimer", "animation timer create failed\n");
    return 1;
  }
  return 0;
}

INT32 FrameCount(UINT32 milliseconds) {
  INT32 frames = INT32(milliseconds / kUIAnimationFrameMilliseconds);
  return frames < 1 ? 1 : frames;
}

void Arm(UIAnimationTrack& t, DUPoint from, DUPoint to, UINT32 options, INT32 frames) {
  t.active = TRUE;
  t.frame_count = frames;
  t.frame_index = 0;
  t.start = from;
  t.target = to;
  t.x = DUFixedFromInt(from.x);
  t.y = DUFixedFromInt(from.y);
  t.step_x = DUFixedDivInt(DUFixedFromInt(to.x - from.x), frames);
  t.step_y = DUFixedDivInt(DUFixedFromInt(to.y - from.y), frames);
  t.options = options;
  t.go_back = TRUE;
}

// The angles of a curve, in whole degrees.
void CurveAngles(UINT32 curve, INT32* first, INT32* last) {
  *first = curve == kUIAnimationEaseOut ? 90 : 0;
  *last = curve == kUIAnimationEaseIn ? 90 : 180;
}

// How far along (16.16, 0..1) frame index of count is on the curve.
DUFixed CurveFraction(UINT32 curve, INT32 index, INT32 count) {
  INT32 first = 0, last = 0;
  CurveAngles(curve, &first, &last);
  DUFixed angle = DUFixedFromInt(first) + DUFixedDivInt(DUFixedFromInt((last - first) * index), count);
  INT64 c0 = UIAnimationCosine(DUFixedFromInt(first));
  INT64 c1 = UIAnimationCosine(DUFixedFromInt(last));
  INT64 ci = UIAnimationCosine(angle);
  INT64 fraction = ((c0 - ci) << 16) / (c0 - c1);
  return DUFixed(fraction < 0 ? 0 : (fraction > kDUFixedOne ? kDUFixedOne : fraction));
}

DUFixed Toward(DUFixed current, DUFixed step, DUFixed target) {
  DUFixed next = current + step;
  // Never past the target; a remainder smaller than a step lands on it.
  if ((step >= 0 && next >= target) || (step < 0 && next <= target)) return target;
  DUFixed remaining = target - next;
  if (DUFixedMagnitude(remaining) < DUFixedMagnitude(step)) return target;
  return next;
}

// One frame of a track. Returns TRUE when the track reached its target on this frame.
bool Step(UIAnimationTrack& t) {
  ++t.frame_index;
  DUFixed tx = DUFixedFromInt(t.target.x), ty = DUFixedFromInt(t.target.y);
  UINT32 curve = t.options & kUIAnimationCurveMask;
  if (t.frame_index >= t.frame_count) {
    t.x = tx;
    t.y = ty;
  } else if (curve == kUIAnimationEaseIn || curve == kUIAnimationEaseOut || curve == kUIAnimationEaseInOut) {
    DUFixed f = CurveFraction(curve, t.frame_index, t.frame_count);
    t.x = DUFixedFromInt(t.start.x) + DUFixedMulInt(f, t.target.x - t.start.x);
    t.y = DUFixedFromInt(t.start.y) + DUFixedMulInt(f, t.target.y - t.start.y);
  } else {
    t.x = t.step_x ? Toward(t.x, t.step_x, tx) : tx;
    t.y = t.step_y ? Toward(t.y, t.step_y, ty) : ty;
  }
  return t.x == tx && t.y == ty;
}

// After the last frame: turn round (repeat, or the one return) or end. TRUE when it ended.
bool Finish(UIAnimationTrack& t) {
  bool again = (t.options & kUIAnimationRepeat) || ((t.options & kUIAnimationGoBackOnce) && t.go_back);
  if (!again) {
    t.active = FALSE;
    return true;
  }
  if (!(t.options & kUIAnimationRepeat)) t.go_back = FALSE;
  BOOLEAN go_back = t.go_back;
  Arm(t, t.target, t.start, t.options, t.frame_count);
  t.go_back = go_back;
  return false;
}

// One frame of the view's animations. TRUE while something is still active.
bool StepView(DUView* view) {
  UIViewAnimation* a = Record(view);
  if (!a) return false;
  if (a->move.active) {
    bool arrived = Step(a->move);
    (void)DUViewSetOriginDirect(view, DUPoint{DUFixedToInt(a->move.x), DUFixedToInt(a->move.y)});  // a view
    if (arrived && Finish(a->move) && a->move_done) a->move_done(view, a->move_done_context);
  }
  if (a->fade.active) {
    bool arrived = Step(a->fade);
    (void)DUViewSetTransparencyDirect(view, UINT8(DUFixedToInt(a->fade.x)));  // hooks log their own failures
    if (arrived && Finish(a->fade) && a->fade_done) a->fade_done(view, a->fade_done_context);
  }
  bool custom = a->custom_step && a->custom_step(view, a->custom_step_context);
  if (!custom) a->custom_step = nullptr;
  a->active = a->move.active || a->fade.active || custom;
  return a->active;
}

}  // namespace

UIViewAnimation* UIViewAnimationOf(const DUView* view) { return Record(view); }

BOOLEAN UIViewAnimationIsRunning(const DUView* view) {
  UIViewAnimation* a = Record(view);
  return a && (a->move.active || a->fade.active || a->custom_step) ? TRUE : FALSE;
}

UINTN UIViewAnimationSetDuration(DUView* view, UINT32 milliseconds) {
  UIViewAnimation* a = Ensure(view);
  if (!a) {
    DULogError("UIViewAnimationSetDuration", "view is NULL or out of memory\n");
    return 1;
  }
  a->duration = milliseconds;
  return 0;
}

UINTN UIViewAnimationSetOptions(DUView* view, UINT32 options) {
  UIViewAnimation* a = Ensure(view);
  if (!a) return 1;
  a->options = options;
  return 0;
}

UINTN UIViewAnimateMove(DUView* view, DUPoint target) {
  UIViewAnimation* a = Ensure(view);
  if (!a || !view->screen) {
    DULogError("UIViewAnimateMove", "view is NULL or on no screen\n");
    return 1;
  }
  DUPoint origin{view->frame.x, view->frame.y};
  if (origin.x == target.x && origin.y == target.y) return 1;
  Arm(a->move, origin, target, a->options, FrameCount(a->duration));
  a->active = TRUE;
  return StartTimer(view->screen);
}

UINTN UIViewAnimateTransparency(DUView* view, UINT8 target, UINT32 options, UINT32 milliseconds) {
  UIViewAnimation* a = Ensure(view);
  if (!a || !view->screen) {
    DULogError("UIViewAnimateTransparency", "view is NULL or on no screen\n");
    return 1;
  }
  if (view->transparency == target) return 1;
  Arm(a->fade, DUPoint{view->transparency, 0}, DUPoint{target, 0}, options, FrameCount(milliseconds));
  a->active = TRUE;
  return StartTimer(view->screen);
}

UINTN UIViewAnimationSetMoveCompletion(DUView* view, UIAnimationCompletion callback, void* context) {
  UIViewAnimation* a = Ensure(view);
  if (!a) return 1;
  a->move_done = callback;
  a->move_done_context = context;
  return 0;
}

UINTN UIViewAnimationSetTransparencyCompletion(DUView* view, UIAnimationCompletion callback, void* context) {
  UIViewAnimation* a = Ensure(view);
  if (!a) return 1;
  a->fade_done = callback;
  a->fade_done_context = context;
  return 0;
}

UINTN UIViewAnimationSetCustomStep(DUView* view, UIAnimationCustomStep step, void* context) {
  UIViewAnimation* a = Ensure(view);
  if (!a || (step && !view->screen)) return 1;
  a->custom_step = step;
  a->custom_step_context = context;
  if (!step) return 0;
  a->active = TRUE;
  return StartTimer(view->screen);
}

UINTN UIViewAnimationTick(DUScreen* screen) {
  if (!screen) return 0;
  UINTN active = 0;
  // A completion may remove views: take the next one first.
  for (DUView* view = screen->views; view;) {
    DUView* next = view->next;
    if (StepView(view)) ++active;
    view = next;
  }
  if (screen->cursor && StepView(screen->cursor)) ++active;
  (void)DUScreenDraw(screen);  // a failing view is logged by the screen
  if (active == 0) {
    auto* record = static_cast<ScreenAnimation*>(screen->animation);
    if (record) TimerRelease(&record->timer);
  }
  return active;
}

BOOLEAN UIViewAnimationTimerRunning(const DUScreen* screen) {
  auto* record = screen ? static_cast<ScreenAnimation*>(screen->animation) : nullptr;
  return record && record->timer ? TRUE : FALSE;
}

void UIViewAnimationStopScreen(DUScreen* screen) {
  auto* record = screen ? static_cast<ScreenAnimation*>(screen->animation) : nullptr;
  if (!record) return;
  TimerDestroy(record->timer);
  screen->animation = nullptr;
  if (record->tick_queued) {
    record->screen = nullptr;  // the queued tick frees it
  } else {
    PoolFree(record);
  }
}
