// The window's clock: every 20 s it looks for input; 16 checks without any, or a lid found
// closed on battery at two checks in a row, end the window (exit code 2). After 60 s the
// recovery message replaces the message view.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "ui/archive_image.h"
#include "ui/battery.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

namespace {

constexpr UINT32 kSmcLidClosed = 0x4D534C44;  // "MSLD"

EFI_STATUS IdleDeferred(RunLoop*, void* context, UINTN) {
  LWIdleCheck(static_cast<LoginWindow*>(context));
  return EFI_SUCCESS;
}
void EFIAPI IdleTimer(EFI_EVENT, void* context) {
  RunLoopExecuteDeferredFunc(IdleDeferred, context, 0, "_LW_IdleTimerCallback");
}

EFI_STATUS RecoveryMessageDeferred(RunLoop*, void* context, UINTN) {
  auto* lw = static_cast<LoginWindow*>(context);
  if (lw->recovery_message_fired) {
    DULogError("_LW_ShowRecoveryMessageViewTimerCallback", "DidShowBootRecoveryOSMessage callback has fired already!!!\n");
    return EFI_SUCCESS;
  }
  if (DUView* ribbon = ArchiveViewCreateWithOptions(lw->loginui_archive, "loginui_recovery_ribbon.png")) {
    if (lw->message_view) {
      if (lw->message_view->screen) DUScreenRemoveView(lw->screen, lw->message_view);
      else DUViewDestroy(lw->message_view);
    }
    lw->message_view = ribbon;
    lw->message_is_ribbon = TRUE;
    DUViewSetOrigin(ribbon, DUPoint{(lw->screen->size.width - ribbon->frame.width) / 2,
                                    lw->screen->size.height - 129 * INT32(lw->scale) - ribbon->frame.height});
    _LW_MessageView_MakeVisible(lw, TRUE);
  }
  lw->recovery_message_fired = TRUE;
  if (lw->did_show_recovery_message) lw->did_show_recovery_message(lw, lw->callback_context);
  return EFI_SUCCESS;
}
void EFIAPI RecoveryMessageTimer(EFI_EVENT, void* context) {
  RunLoopExecuteDeferredFunc(RecoveryMessageDeferred, context, 0, "_LW_ShowRecoveryMessageViewTimerCallback");
}

DUPoint CursorPosition(const LoginWindow* lw) {
  const DUView* cursor = lw->screen ? lw->screen->cursor : nullptr;
  return cursor ? DUPoint{cursor->frame.x, cursor->frame.y} : DUPoint{0, 0};
}

}  // namespace

void LWIdleCheck(LoginWindow* lw) {
  DUPoint cursor = CursorPosition(lw);
  if (cursor.x != lw->last_cursor.x || cursor.y != lw->last_cursor.y) {
    lw->last_cursor = cursor;
    lw->idle_count = 0;
    return;
  }
  UINT64 keys = KeyboardCenterKeyEventCount(lw->keyboard);
  if (keys != lw->last_key_count) {
    lw->last_key_count = keys;
    lw->idle_count = 0;
    return;
  }
  if (lw->idle_count++ >= kLWIdleLimit) {
    LWExit(lw, kLoginExitIdle);
    return;
  }
  UINT8 lid = 0;
  if (LWSmcUINT8ForKey(kSmcLidClosed, &lid) != 0) lid = 0;  // unreadable counts as open
  if (!lid || !LWIsBatteryPowered()) {
    lw->lid_closed_on_battery = FALSE;
    return;
  }
  // Seen once: the next check confirms it, if the lid is still closed then.
  if (!lw->lid_closed_on_battery) {
    lw->lid_closed_on_battery = TRUE;
    return;
  }
  LWExit(lw, kLoginExitIdle);
}

void LWStartIdleTimer(LoginWindow* lw) {
  lw->last_cursor = CursorPosition(lw);
  lw->last_key_count = KeyboardCenterKeyEventCount(lw->keyboard);
  lw->idle_count = 0;
  lw->idle_timer = TimerCreate(IdleTimer, lw, kLWIdlePeriod, TRUE);
}

void LWStartRecoveryMessageTimer(LoginWindow* lw) {
  lw->recovery_timer = TimerCreateAtCallbackLevel(RecoveryMessageTimer, lw, kLWRecoveryMessageDelay, FALSE);
}
