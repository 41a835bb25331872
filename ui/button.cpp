#include "ui/button.h"

#include "draw/log_error.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

namespace {

// What the hold timer's deferred function needs even when the button went meanwhile.
struct HoldTicket {
  DUView* view;  // null once the button is destroyed
  BOOLEAN queued;
};

struct Button {
  UIButtonState state;
  HoldTicket* ticket;
};

Button* ButtonOf(const DUView* view) {
  if (!view || view->kind != kUIViewKindButton || !view->user_data) return nullptr;
  return static_cast<Button*>(view->user_data);
}

struct Group {
  DUView* selected;
};

Group* GroupOf(const DUView* view) {
  if (!view || view->kind != kUIViewKindButtonGroup || !view->user_data) return nullptr;
  return static_cast<Group*>(view->user_data);
}

void Redraw(DUView* view) {
  Button* button = ButtonOf(view);
  UIButtonState& s = button->state;
  UINT32 index = (s.state >= 1 && s.state <= 3) ? s.state - 1 : 0;
  UINTN count = UINTN(s.size.width) * UINTN(s.size.height);
  if (view->pixels && count * sizeof(DUPixel) <= view->pixels_size) {
    MemCopy(view->pixels, s.pictures[index], count * sizeof(DUPixel));
  }
  view->needs_display = TRUE;
}

void SetStateAndRedraw(DUView* view, UINT32 state) {
  ButtonOf(view)->state.state = state;
  Redraw(view);
}

void StopHoldTimer(UIButtonState& s) {
  if (s.hold_timer) TimerDestroy(s.hold_timer);
  s.hold_timer = nullptr;
  s.hold_pending = FALSE;
}

void FreePictures(UIButtonState& s) {
  for (DUPixel*& picture : s.pictures) {
    PoolFree(picture);
    picture = nullptr;
  }
}

EFI_STATUS CopyPictures(UIButtonState& s, const DUPixel* normal, const DUPixel* on, const DUPixel* pressed,
                        DUSize size) {
  UINTN bytes = UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel);
  const DUPixel* sources[3] = {normal, on, pressed};
  DUPixel* copies[3] = {};
  for (int i = 0; i < 3; ++i) {
    copies[i] = static_cast<DUPixel*>(PoolAllocate(bytes));
    if (!copies[i]) {
      for (DUPixel* copy : copies) PoolFree(copy);
      return EFI_OUT_OF_RESOURCES;
    }
    MemCopy(copies[i], sources[i], bytes);
  }
  FreePictures(s);
  for (int i = 0; i < 3; ++i) s.pictures[i] = copies[i];
  s.size = size;
  return EFI_SUCCESS;
}

EFI_STATUS HoldTimerDeferred(RunLoop*, void* context, UINTN) {
  auto* ticket = static_cast<HoldTicket*>(context);
  ticket->queued = FALSE;
  DUView* view = ticket->view;
  if (!view) {
    PoolFree(ticket);
    return EFI_SUCCESS;
  }
  UIButtonState& s = ButtonOf(view)->state;
  if (!s.hold_pending) return EFI_SUCCESS;
  StopHoldTimer(s);
  if (s.tracking && s.inside) SetStateAndRedraw(view, kUIButtonStatePressed);
  return EFI_SUCCESS;
}

void EFIAPI HoldTimerFired(EFI_EVENT, void* context) {
  auto* ticket = static_cast<HoldTicket*>(context);
  if (ticket->queued) return;
  if (RunLoopExecuteDeferredFunc(HoldTimerDeferred, ticket, 0, "_UIButtonHoldTimer") == 0) ticket->queued = TRUE;
}

void Click(Button* button, TarnEventRecord* event) {
  if (button->state.click) button->state.click(event, button->state.click_context);
}

BOOLEAN Respond(DUView* view, TarnEventRecord* event, void*) {
  Button* button = ButtonOf(view);
  if (!button) return FALSE;
  UIButtonState& s = button->state;
  if (event->Type & kTarnEventKeyPressed) {
    const auto* key = reinterpret_cast<const TarnEventKeyData*>(UINTN(event->Data));
    if (!key) return FALSE;
    if ((s.character_enabled && key->Character == s.character) || (s.key_code_enabled && key->KeyCode == s.key_code)) {
      Click(button, event);
      return TRUE;
    }
    return FALSE;
  }
  if (!(event->Type & (kTarnEventPointerMoved | kTarnEventPointerButton))) return FALSE;
  DUPoint point{event->Position.X, event->Position.Y};
  BOOLEAN inside = DUPointInRect(point, view->frame) ? TRUE : FALSE;
  UINT64 kind = event->Data & kTarnPointerActionMask;
  DUScreen* screen = view->screen;
  switch (kind) {
    case kTarnPointerMove:
      if (!s.tracking) return FALSE;
      s.inside = inside;
      if (inside) {
        if (!s.hold_pending && s.state != kUIButtonStatePressed) SetStateAndRedraw(view, kUIButtonStatePressed);
      } else if (s.state != s.previous_state) {
        SetStateAndRedraw(view, s.previous_state);
      }
      return TRUE;
    case kTarnPointerDown:
      if (!inside) return FALSE;
      s.tracking = TRUE;
      s.inside = TRUE;
      s.previous_state = s.state;
      if (screen && s.registered) {
        (void)DUScreenRegisterResponder(screen, view, kUIButtonTrackingEventMask, Respond, nullptr);  // keeps the old mask on failure
      }
      if (s.click_on_press) Click(button, event);
      if (s.group) {
        StopHoldTimer(s);
        s.hold_timer = TimerCreate(HoldTimerFired, button->ticket, kUIButtonHoldPeriod, FALSE);
        s.hold_pending = s.hold_timer ? TRUE : FALSE;
        if (!s.hold_timer) SetStateAndRedraw(view, kUIButtonStatePressed);
      } else {
        SetStateAndRedraw(view, kUIButtonStatePressed);
      }
      return TRUE;
    case kTarnPointerUp: {
      if (screen && s.registered) {
        (void)DUScreenRegisterResponder(screen, view, kUIButtonEventMask, Respond, nullptr);  // as above
      }
      BOOLEAN was_tracking = s.tracking;
      s.tracking = FALSE;
      StopHoldTimer(s);
      if (!was_tracking) return FALSE;
      if (!inside) {
        SetStateAndRedraw(view, s.previous_state);
        return TRUE;
      }
      if (s.toggle && s.previous_state == kUIButtonStateNormal) {
        SetStateAndRedraw(view, kUIButtonStateOn);
        if (s.group) (void)UIButtonGroupSetSelectedButton(s.group, view);  // a group always takes its member
      } else if (s.toggle && s.previous_state == kUIButtonStateOn) {
        SetStateAndRedraw(view, s.group ? kUIButtonStateOn : kUIButtonStateNormal);
      } else {
        SetStateAndRedraw(view, kUIButtonStateNormal);
      }
      if (!s.click_on_press) Click(button, event);
      return TRUE;
    }
    case kTarnPointerDoubleClick:
      if (!inside) return FALSE;
      Click(button, event);
      return TRUE;
    default:
      return inside || s.tracking;
  }
}

void Destroyed(DUView* view) {
  Button* button = ButtonOf(view);
  if (!button) return;
  StopHoldTimer(button->state);
  if (Group* group = GroupOf(button->state.group); group && group->selected == view) group->selected = nullptr;
  if (button->ticket->queued) {
    button->ticket->view = nullptr;  // the queued deferral frees it
  } else {
    PoolFree(button->ticket);
  }
  FreePictures(button->state);
  PoolFree(button);
  view->user_data = nullptr;
}

void AddedToScreen(DUView* view) { (void)UIButtonRegisterForEvents(view); }  // logged inside

void GroupDestroyed(DUView* view) {
  PoolFree(view->user_data);
  view->user_data = nullptr;
}

}  // namespace

EFI_STATUS UIButtonCreateWithImageBuffers(DUView** out_view, const DUPixel* normal, const DUPixel* on,
                                          const DUPixel* pressed, DUSize size, const DURect& frame) {
  if (!out_view || !normal || !on || !pressed || size.width <= 0 || size.height <= 0 ||
      size.width != frame.width || size.height != frame.height) {
    DULogError("UIButtonCreateWithImageBuffers", "invalid argument\n");
    return EFI_INVALID_PARAMETER;
  }
  *out_view = nullptr;
  auto* button = static_cast<Button*>(PoolAllocateZero(sizeof(Button)));
  auto* ticket = static_cast<HoldTicket*>(PoolAllocateZero(sizeof(HoldTicket)));
  if (!button || !ticket || EFI_ERROR(CopyPictures(button->state, normal, on, pressed, size))) {
    if (button) FreePictures(button->state);
    PoolFree(button);
    PoolFree(ticket);
    DULogError("UIButtonCreateWithImageBuffers", "out of memory\n");
    return EFI_OUT_OF_RESOURCES;
  }
  DUView* view = nullptr;
  if (EFI_ERROR(DUViewCreate(frame, &view))) {
    FreePictures(button->state);
    PoolFree(button);
    PoolFree(ticket);
    DULogError("UIButtonCreateWithImageBuffers", "DUViewCreate failed\n");
    return EFI_OUT_OF_RESOURCES;
  }
  ticket->view = view;
  button->ticket = ticket;
  button->state.state = kUIButtonStateNormal;
  button->state.previous_state = kUIButtonStateNormal;
  view->kind = kUIViewKindButton;
  view->user_data = button;
  view->callbacks.destroy = Destroyed;
  view->callbacks.added_to_screen = AddedToScreen;
  Redraw(view);
  *out_view = view;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonSetClickCallback(DUView* view, UIButtonClickCallback callback, void* context) {
  Button* button = ButtonOf(view);
  if (!button) return EFI_INVALID_PARAMETER;
  button->state.click = callback;
  button->state.click_context = context;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonSetClickOnPress(DUView* view, BOOLEAN click_on_press) {
  Button* button = ButtonOf(view);
  if (!button) return EFI_INVALID_PARAMETER;
  button->state.click_on_press = click_on_press ? TRUE : FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonSetToggle(DUView* view, BOOLEAN toggle) {
  Button* button = ButtonOf(view);
  if (!button) return EFI_INVALID_PARAMETER;
  button->state.toggle = toggle ? TRUE : FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonSetState(DUView* view, UINT32 state) {
  Button* button = ButtonOf(view);
  if (!button || state < kUIButtonStateNormal || state > kUIButtonStatePressed) return EFI_INVALID_PARAMETER;
  button->state.previous_state = button->state.state;
  SetStateAndRedraw(view, state);
  return EFI_SUCCESS;
}

UINT32 UIButtonGetState(const DUView* view) {
  Button* button = ButtonOf(view);
  return button ? button->state.state : 0;
}

EFI_STATUS UIButtonSetKeyEquivalent(DUView* view, UINT16 key_code, BOOLEAN enabled) {
  Button* button = ButtonOf(view);
  if (!button) return EFI_INVALID_PARAMETER;
  button->state.key_code = key_code;
  button->state.key_code_enabled = enabled ? TRUE : FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonSetCharacterEquivalent(DUView* view, UINT16 character, BOOLEAN enabled) {
  Button* button = ButtonOf(view);
  if (!button) return EFI_INVALID_PARAMETER;
  button->state.character = character;
  button->state.character_enabled = enabled ? TRUE : FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonReplaceImageBuffers(DUView* view, const DUPixel* normal, const DUPixel* on, const DUPixel* pressed,
                                       DUSize size) {
  Button* button = ButtonOf(view);
  if (!button || !normal || !on || !pressed || size.width <= 0 || size.height <= 0) return EFI_INVALID_PARAMETER;
  if (size.width != view->frame.width || size.height != view->frame.height) {
    DURect frame = view->frame;
    frame.width = size.width;
    frame.height = size.height;
    EFI_STATUS status = DUViewSetFrame(view, frame);
    if (EFI_ERROR(status)) return status;
  }
  EFI_STATUS status = CopyPictures(button->state, normal, on, pressed, size);
  if (EFI_ERROR(status)) return status;
  Redraw(view);
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonRegisterForEvents(DUView* view) {
  Button* button = ButtonOf(view);
  if (!button || !view->screen) return EFI_INVALID_PARAMETER;
  UINT32 mask = button->state.tracking ? kUIButtonTrackingEventMask : kUIButtonEventMask;
  EFI_STATUS status = DUScreenRegisterResponder(view->screen, view, mask, Respond, nullptr);
  if (EFI_ERROR(status)) {
    DULogError("UIButtonRegisterForEvents", "DUScreenRegisterResponder failed with err: %d\n", INT32(status));
    return status;
  }
  button->state.registered = TRUE;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonUnregister(DUView* view) {
  Button* button = ButtonOf(view);
  if (!button) return EFI_INVALID_PARAMETER;
  if (!button->state.registered) return EFI_SUCCESS;
  button->state.registered = FALSE;
  button->state.tracking = FALSE;
  StopHoldTimer(button->state);
  return DUScreenUnregisterResponder(view->screen, view);
}

EFI_STATUS UIButtonSetGroup(DUView* view, DUView* group) {
  Button* button = ButtonOf(view);
  if (!button || (group && !GroupOf(group))) return EFI_INVALID_PARAMETER;
  if (Group* old = GroupOf(button->state.group); old && old->selected == view) old->selected = nullptr;
  button->state.group = group;
  return EFI_SUCCESS;
}

EFI_STATUS UIButtonGroupCreate(DUView** out_group) {
  if (!out_group) return EFI_INVALID_PARAMETER;
  *out_group = nullptr;
  auto* group = static_cast<Group*>(PoolAllocateZero(sizeof(Group)));
  if (!group) return EFI_OUT_OF_RESOURCES;
  DUView* view = nullptr;
  if (EFI_ERROR(DUViewCreate(DURectMake(0, 0, 0, 0), &view))) {
    PoolFree(group);
    return EFI_OUT_OF_RESOURCES;
  }
  view->kind = kUIViewKindButtonGroup;
  view->user_data = group;
  view->callbacks.destroy = GroupDestroyed;
  *out_group = view;
  return EFI_SUCCESS;
}

DUView* UIButtonGroupSelectedButton(const DUView* group) {
  Group* g = GroupOf(group);
  return g ? g->selected : nullptr;
}

EFI_STATUS UIButtonGroupSetSelectedButton(DUView* group, DUView* button) {
  Group* g = GroupOf(group);
  if (!g || (button && !ButtonOf(button))) return EFI_INVALID_PARAMETER;
  if (g->selected && g->selected != button) SetStateAndRedraw(g->selected, kUIButtonStateNormal);
  g->selected = button;
  if (button && UIButtonGetState(button) != kUIButtonStateOn) SetStateAndRedraw(button, kUIButtonStateOn);
  return EFI_SUCCESS;
}
