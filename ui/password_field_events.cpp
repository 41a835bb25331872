// The focused password field's input: key events through the screen's responders and the
// caret's blink timer. Both arrive at notification level and only hand their work to the
// run loop, where the keys are applied and the field is drawn.
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/event_protocol.h"
#include "ui/password_field.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

namespace {

// A key travels to the run loop packed into the deferral's argument.
UINTN PackKey(UINT16 key_code, UINT8 hid_modifiers, BOOLEAN caps_lock) {
  return UINTN(key_code) | (UINTN(hid_modifiers) << 16) | (UINTN(caps_lock ? 1 : 0) << 24);
}

UIPasswordTextField* FieldOf(DUView* view) {
  return view != nullptr ? static_cast<UIPasswordTextField*>(view->user_data) : nullptr;
}

// Runs a key on the foreground: the blink starts over, so the caret stays lit while typing.
EFI_STATUS KeyDeferred(RunLoop*, void* context, UINTN argument) {
  auto* ticket = static_cast<UIViewTicket*>(context);
  --ticket->queued;
  DUView* view = ticket->view;
  if (view == nullptr) {
    if (ticket->queued == 0) PoolFree(ticket);
    return EFI_SUCCESS;
  }
  UIPasswordTextField* field = FieldOf(view);
  if (field == nullptr) return EFI_SUCCESS;
  bool focused = (field->flags & kUIFieldFocused) != 0;
  if (focused) _UIPasswordTextFieldStopBlinkingTimer(field);
  field->flags |= kUIFieldCaretVisible;
  UIPasswordTextFieldHandleKey(view, UINT32(argument & 0xFFFF), UINT8((argument >> 16) & 0xFF),
                               BOOLEAN((argument >> 24) & 1));
  if (focused) _UIPasswordTextFieldStartBlinkingTimer(field);
  return EFI_SUCCESS;
}

void BlinkDeferred(DUView* view) {
  UIPasswordTextField* field = FieldOf(view);
  if (field == nullptr) return;
  field->blink_pending = FALSE;
  if (field->flags & kUIFieldFocused) UIPasswordTextFieldToggleCaret(view);
}

// TPL_NOTIFY: one blink at a time waits in the run loop, however long the loop is busy.
void EFIAPI BlinkFired(EFI_EVENT, void* context) {
  auto* ticket = static_cast<UIViewTicket*>(context);
  UIPasswordTextField* field = FieldOf(ticket->view);
  if (field == nullptr || field->blink_pending) return;
  if (UIViewTicketDefer(ticket, BlinkDeferred, "_UIPasswordTextFieldBlink") == 0) field->blink_pending = TRUE;
}

}  // namespace

BOOLEAN _UIPasswordTextFieldKeyResponder(DUView* view, TarnEventRecord* event, void* context) {
  auto* field = static_cast<UIPasswordTextField*>(context);
  if (event == nullptr || field == nullptr || field->view != view || !(event->Type & kTarnEventKeyPressed) ||
      event->Data == 0) {
    return FALSE;
  }
  const auto* key = reinterpret_cast<const TarnEventKeyData*>(UINTN(event->Data));
  TarnEventProtocol* events = nullptr;
  ObtainCurrentTarnEventProtocol(&events);
  BOOLEAN caps_lock = FALSE;
  if (events != nullptr && events->IsCapsLockOn != nullptr && EFI_ERROR(events->IsCapsLockOn(&caps_lock))) {
    caps_lock = FALSE;
  }
  UINTN argument = PackKey(key->KeyCode, UINT8(event->Modifiers & 0xFF), caps_lock);
  // A refusal (the queue is full) is logged by the run loop; the key is lost like any
  // other event that finds no room.
  if (RunLoopExecuteDeferredFunc(KeyDeferred, field->ticket, argument, "_UIPasswordTextFieldKeyEvent") == 0) {
    ++field->ticket->queued;
  }
  return TRUE;
}

UINT32 _UIPasswordTextFieldRegisterForEvents(UIPasswordTextField* field) {
  const char* operation = "_UIPasswordTextFieldRegisterForEvents";
  DUScreen* screen = field->view->screen;
  if (screen == nullptr) {
    DULogError(operation, "textField->screen is NULL");
    return 1;
  }
  if (EFI_ERROR(DUScreenRegisterResponder(screen, field->view, kUIPasswordFieldEventMask,
                                          _UIPasswordTextFieldKeyResponder, field))) {
    DULogError(operation, "DUScreenRegisterResponder failed!");
    return 1;
  }
  return 0;
}

UINT32 _UIPasswordTextFieldUnregisterForEvents(UIPasswordTextField* field) {
  DUScreen* screen = field->view->screen;
  // Never registered (no screen then, or registering failed): nothing to undo.
  if (screen == nullptr || DUScreenResponderOfView(screen, field->view) == nullptr) return 0;
  if (EFI_ERROR(DUScreenUnregisterResponder(screen, field->view))) {
    DULogError("_UIPasswordTextFieldUnregisterForEvents", "DUScreenUnregisterResponder failed");
    return 1;
  }
  return 0;
}

UINT32 _UIPasswordTextFieldStartBlinkingTimer(UIPasswordTextField* field) {
  _UIPasswordTextFieldStopBlinkingTimer(field);
  field->blink_timer = TimerCreate(BlinkFired, field->ticket, kUIPasswordFieldBlinkPeriod, TRUE);
  if (field->blink_timer == nullptr) {
    DULogError("_UIPasswordTextFieldStartBlinkingTimer", "create timer failed");
    return 1;
  }
  return 0;
}

void _UIPasswordTextFieldStopBlinkingTimer(UIPasswordTextField* field) {
  TimerRelease(&field->blink_timer);
}
