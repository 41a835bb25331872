// One attempt: the typed text goes to the unlock stage in each of its three renderings; a
// wrong one waits longer from the sixth attempt on, shakes the field and, from the third
// attempt, offers the forgot-password pop-up.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "ui/button.h"
#include "ui/password_field.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"

namespace {

constexpr INT32 kShakeOffsets[] = {-13, 13, -13, 13, -13, 0};
constexpr UINT32 kShakeStepMilliseconds = 50;

}  // namespace

UINT32 LWBackOffMilliseconds(UINT32 attempt) { return attempt > 5 ? (attempt - 5) * 500 : 0; }

bool _LW_LoginPane_ValidatePassword(LoginWindow* lw, LWField* field) {
  if (!lw) {
    DULogError("_LW_LoginPane_ValidatePassword", "lw is NULL\n");
    return false;
  }
  if (lw->go_button) {
    UIButtonSetState(lw->go_button, kUIButtonStatePressed);
    DUViewSetVisible(lw->go_button, FALSE);
  }
  ++lw->failed_attempts;
  if (!lw->selected_user) DULogError("_LW_LoginPane_ValidatePassword", "lw->selectedUser is NULL\n");
  if (!lw->validate) DULogError("_LW_LoginPane_ValidatePassword", "lw->verifyPasswordFunction is NULL\n");
  bool verified = false;
  if (lw->validate && lw->selected_user && field->field) {
    for (UINT32 r = 0; r < 3 && !verified; ++r) {
      const CHAR16* text = UIPasswordTextFieldGetText(field->field, UIPasswordRendering(r));
      verified = text && lw->validate(lw, lw->selected_user, text, lw->callback_context);
    }
  }
  if (verified) {
    if (lw->pane == kLWPaneVoxlet) _LW_Beep(lw, 3);
    LWExit(lw, kLoginExitPassphrase);
    return true;
  }
  if (lw->pane == kLWPaneVoxlet) _LW_VoxletPlaySound(lw, "sound_SCREFIAudio.UsernameOrPasswordIncorrect");
  if (UINT32 wait = LWBackOffMilliseconds(lw->failed_attempts)) RunLoopSleep(wait);
  const INT32 s = INT32(lw->scale);
  for (INT32 offset : kShakeOffsets) {
    lw->shake = DUPoint{offset * s, 0};
    _LW__PositionPasswordViews(lw);
    SleepFunnel(lw->screen, kShakeStepMilliseconds);
  }
  if (field->field) UIPasswordTextFieldZeroOut(field->field);
  if (lw->go_button) UIButtonSetState(lw->go_button, kUIButtonStateNormal);
  if (field->focus_frame) DUViewSetVisible(field->focus_frame, TRUE);
  if (field->no_focus_frame) DUViewSetVisible(field->no_focus_frame, FALSE);
  LWSetFieldFocus(lw, field);
  if (field->no_focus_frame) DUViewSetVisible(field->no_focus_frame, FALSE);
  bool offer = lw->pane == kLWPaneMaster || lw->pane == kLWPaneRecovery ||
               (lw->pane == kLWPaneLogin && lw->failed_attempts >= 3);
  if (offer) _LW_LoginPane_ForgotPassword(lw);
  _LW_Redraw(lw);
  return false;
}
