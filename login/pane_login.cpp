// The login pane: the chosen user's password field, go, back and hint buttons, or the
// guest pop-up for the guest tile.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "ui/archive_image.h"
#include "ui/carousel.h"
#include "ui/password_field.h"
#include "ui/run_loop_screen.h"
#include "ui/view_animation.h"

namespace {

void Return(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(c);
  LWField* field = lw->pane == kLWPaneRecovery ? &lw->recovery_key : &lw->password;
  _LW_LoginPane_ValidatePassword(lw, field);
}

void Escape(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(c);
  if (lw->tile_count < 2) return;  // a single tile has nowhere to go back to
  _LW_UsersPane_SetupUI(lw, TRUE);
}

}  // namespace

bool _LW_LoginPane_IsHintAvailable(LoginWindow* lw) {
  if (!lw->selected_user) {
    DULogError("_LW_LoginPane_IsHintAvailable", "lw->selectedUser is NULL\n");
    return false;
  }
  return lw->master_user || lw->recovery_user || LoginUserPicture(lw->selected_user, kLoginPictureHint) ||
         LoginUserPicture(lw->selected_user, kLoginPictureSerial) || lw->selected_user->external_key;
}

void _LW_LoginPane_SetupUI(LoginWindow* lw, BOOLEAN animate) {
  lw->pane = kLWPaneLogin;
  KeyboardCenterClearActions(lw->keyboard);
  KeyboardCenterAction* actions = KeyboardCenterActions(lw->keyboard);
  bool guest = lw->selected_user && lw->selected_user == lw->guest_user;
  if (actions) {
    actions[kKeyActionReturn] = guest ? nullptr : Return;
    actions[kKeyActionEscape] = Escape;
  }
  LWInstallCommonKeyActions(lw);
  LWHideLoginViews(lw);
  if (lw->type_select_field) DUViewSetVisible(lw->type_select_field, FALSE);
  if (guest) {
    if (lw->back_button) {
      DUViewSetVisible(lw->back_button, TRUE);
      if (animate) {
        DUViewSetTransparency(lw->back_button, 255);
        UIViewAnimateTransparency(lw->back_button, 0, kUIAnimationLinear, 200);
      }
    }
    _LW_GuestUserPopover_Setup(lw);
    RunLoopScheduleScreenDraw(lw->screen);
    return;
  }
  if (!lw->selected_user || !lw->selected_user->pictures) {
    DULogError("_LW_LoginPane_SetupUI", "selectedUserGraphics is NULL\n");
  }
  LWFieldSetVisible(&lw->password, TRUE);
  if (lw->back_button) DUViewSetVisible(lw->back_button, lw->tile_count >= 2);
  if (lw->hint_button) DUViewSetVisible(lw->hint_button, lw->selected_user && _LW_LoginPane_IsHintAvailable(lw));
  LWSetFieldFocus(lw, &lw->password);
  _LW__PositionPasswordViews(lw);
  RunLoopScheduleScreenDraw(lw->screen);
}
