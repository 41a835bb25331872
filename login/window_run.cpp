// One run of the window: views, the logo hand-over, the first pane, the timers, the run
// loop, and the exit information.
#include "draw/log_error.h"
#include "graphics/gamma.h"
#include "lib/mem.h"
#include "login/window_internal.h"
#include "ui/archive_image.h"
#include "ui/carousel.h"
#include "ui/password_field.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"
#include "ui/timer.h"
#include "ui/view_animation.h"

namespace {

void EFIAPI FocusFrameTimer(EFI_EVENT, void* context) {
  auto* lw = static_cast<LoginWindow*>(context);
  if (lw->password.focus_frame) DUViewSetNeedsDisplay(lw->password.focus_frame);
  RunLoopScheduleScreenDraw(lw->screen);
}

// The logo fades out once its 1.5 s are up.
void HandOverLogo(LoginWindow* lw, DUView* logo) {
  while (!lw->logo_delay_done) RunLoopIdle();
  if (logo->visible && logo->screen) {
    UINT32 t = logo->transparency;
    for (int step = 0; step < 20; ++step) {
      t = t + 12 > 255 ? 255 : t + 12;
      DUViewSetTransparency(logo, UINT8(t));
      SleepFunnel(lw->screen, 10);
    }
  }
  if (logo->screen) DUScreenRemoveView(lw->screen, logo);
  else DUViewDestroy(logo);
}

void FillExitInfo(LoginWindow* lw, LoginUIExitInfo* exit_info) {
  exit_info->exit_code = lw->exit_code;
  if (lw->exit_code != kLoginExitPassphrase) return;
  LoginUserRef* user = lw->selected_user;
  if (!user) {
    DULogError("LoginWindowRunRunLoop", "lw->selectedUser is NULL. Impossible to fill in LoginUIExitInfoRef\n");
    return;
  }
  exit_info->user = user->source;
  exit_info->user_to_reset = user->override_user ? user->override_user->source : nullptr;
  if (!user->override_user && user == lw->recovery_user) {
    DULogError("LoginWindowRunRunLoop", "Recovery User logged-in but no user to reset\n");
  } else if (!user->override_user && user == lw->master_user) {
    DULogError("LoginWindowRunRunLoop", "Master Password User logged-in but no user to reset\n");
  }
}

// After an unlock the window fades away and the boot progress bar takes its place.
void ShowProgress(LoginWindow* lw) {
  if (lw->screen->cursor) DUViewSetVisible(lw->screen->cursor, FALSE);
  _LW_Redraw(lw);
  for (DUView* view = lw->screen->views; view; view = view->next) {
    if (view->visible) UIViewAnimateTransparency(view, 255, kUIAnimationEaseIn, 200);
  }
  SleepFunnel(lw->screen, 200);
  lw->progress_bar = ArchiveViewCreateWithOptions(lw->loginui_archive, "loginui_bootprogressbar.png");
  if (!lw->progress_bar) return;
  DUViewSetOrigin(lw->progress_bar, DUPoint{(lw->screen->size.width - lw->progress_bar->frame.width) / 2,
                                            lw->screen->size.height * 2 / 3});
  DUViewSetTransparency(lw->progress_bar, 255);
  DUScreenAddView(lw->screen, lw->progress_bar);
  UIViewAnimateTransparency(lw->progress_bar, 0, kUIAnimationLinear, 200);
  SleepFunnel(lw->screen, 200);
}

}  // namespace

EFI_STATUS LoginWindowRunRunLoop(LoginWindow* lw, LoginUIExitInfo* exit_info, DUView* logo_view) {
  if (!lw || !exit_info) return 1;
  *exit_info = LoginUIExitInfo{};
  if (!LWCanariesIntact(lw)) {
    DULogError("LoginWindowRunRunLoop", "Login window has no valid canaries. RunLoop will not run\n");
    return 1;
  }
  if (!lw->keyboard && KeyboardCenterCreate(&lw->keyboard, lw) != 0) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = LoginWindowCreate_AllView(lw);
  if (EFI_ERROR(status)) return status;
  if (logo_view) HandOverLogo(lw, logo_view);
  if (lw->background_shown && lw->screen->background) {
    BlackGamma();
    _LW_Redraw(lw);
    FadeScreen(300, 50, true);
  }
  _LW_Redraw(lw);
  if (lw->screen->cursor) DUViewSetVisible(lw->screen->cursor, TRUE);
  _LW_AddViewsToScreen(lw);
  _LW_PositionUIElements(lw);
  LWHideLoginViews(lw);
  if (lw->tile_count == 1) {
    _LW_UsersPane_SetupUI(lw, FALSE);
    lw->selected_user = lw->tiles[0];
    _LW_LoginPane_SetupUI(lw, FALSE);
  } else {
    _LW_UsersPane_SetupUI(lw, FALSE);
  }
  LWStartIdleTimer(lw);
  if (lw->auto_user && lw->carousel) {
    INT32 index = -1;
    for (UINT32 i = 0; i < lw->tile_count; ++i) {
      if (lw->tiles[i] == lw->auto_user) index = INT32(i);
    }
    if (index < 0) DULogError("LoginWindowRunRunLoop", "Cannot find user to automatically select\n");
    else UICarouselViewSelectTile(lw->carousel, index, TRUE);
  }
  KeyboardCenterStart(lw->keyboard);
  if (lw->tile_count == 1) {
    LWSetFieldFocus(lw, &lw->password);
    lw->focus_timer = TimerCreateAtCallbackLevel(FocusFrameTimer, lw, 180, FALSE);
  }
  if (lw->show_recovery_message) LWStartRecoveryMessageTimer(lw);
  _LW_Redraw(lw);
  RunLoopRun();
  KeyboardCenterStop(lw->keyboard);
  TimerRelease(&lw->recovery_timer);
  TimerRelease(&lw->idle_timer);
  TimerRelease(&lw->type_select_timer);
  TimerRelease(&lw->focus_timer);
  FillExitInfo(lw, exit_info);
  LWField* fields[] = {&lw->name, &lw->password, &lw->recovery_key};
  for (LWField* f : fields) {
    if (f->field) UIPasswordTextFieldSetFocus(f->field, FALSE, FALSE);
  }
  if (lw->carousel && UICarouselViewUnregisterForEvents(lw->carousel) != 0) {
    DULogError("LoginWindowRunRunLoop", "UITableViewUnregisterForEvents() failed err: %d\n", 1);
  }
  if (!lw->guest_warning && lw->exit_code == kLoginExitPassphrase) ShowProgress(lw);
  // Whatever the deferred work left queued (draws, animation ticks) runs before the views go.
  RunLoop* leftover = RunLoopGetCurrent();
  RunLoopExit();
  RunLoopRun(leftover);
  UIViewAnimationStopScreen(lw->screen);
  return EFI_SUCCESS;
}
