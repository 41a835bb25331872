// The master-password and recovery-key panes, reached from the forgot-password pop-up: the
// special user types on behalf of the user who forgot the password.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "ui/archive_image.h"
#include "ui/password_field.h"
#include "ui/run_loop_screen.h"

namespace {

// The field's frames show the master password's pictures (same size only).
void SwapFrames(LoginWindow* lw, const char* plain, const char* focus) {
  if (lw->password.no_focus_frame) ArchiveViewSwapWithImage(lw->loginui_archive, lw->password.no_focus_frame, plain);
  if (lw->password.focus_frame) {
    ArchiveViewSwapWithImage(lw->loginui_archive, lw->password.focus_frame, lw->background_shown ? plain : focus);
  }
}

bool TakeOver(LoginWindow* lw, LoginUserRef* special) {
  LoginUserRef* forgetful = lw->selected_user;
  lw->selected_user = special;
  special->override_user = forgetful;
  return true;
}

}  // namespace

void _LW_LoginPane_GoTo_MasterPasswordPane(LoginWindow* lw) {
  if (!lw->master_user) {
    DULogError("_LW_LoginPane_GoTo_MasterPasswordPane", "No master user was given\n");
    return;
  }
  LWRemoveHintView(lw);
  TakeOver(lw, lw->master_user);
  lw->pane = kLWPaneMaster;
  SwapFrames(lw, "loginui_masterpassword_field.png", "loginui_masterpassword_field_focus.png");
  UIPasswordTextFieldZeroOut(lw->password.field);
  LWFieldSetVisible(&lw->password, TRUE);
  LWFieldSetVisible(&lw->recovery_key, FALSE);
  if (lw->hint_button) DUViewSetVisible(lw->hint_button, TRUE);
  LWSetFieldFocus(lw, &lw->password);
  _LW_MessageView_MakeVisible(lw, TRUE);
  RunLoopScheduleScreenDraw(lw->screen);
}

void _LW_LoginPane_GoTo_RecoveryPasswordPane(LoginWindow* lw) {
  if (!lw->recovery_user) {
    DULogError("_LW_LoginPane_GoTo_RecoveryPasswordPane", "No recovery user was given\n");
    return;
  }
  LWRemoveHintView(lw);
  TakeOver(lw, lw->recovery_user);
  lw->pane = kLWPaneRecovery;
  LWFieldSetVisible(&lw->password, FALSE);
  UIPasswordTextFieldZeroOut(lw->recovery_key.field);
  LWFieldSetVisible(&lw->recovery_key, TRUE);
  _LW__PositionPasswordViews(lw);  // the buttons move out to the wider field
  if (lw->go_button) DUViewSetVisible(lw->go_button, FALSE);
  if (lw->hint_button) DUViewSetVisible(lw->hint_button, TRUE);
  LWSetFieldFocus(lw, &lw->recovery_key);
  RunLoopScheduleScreenDraw(lw->screen);
}
