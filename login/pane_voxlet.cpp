// The Voxlet pane: the screen-reader's way in. The user types a name and a password; every
// change of focus is spoken and beeped.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "ui/carousel.h"
#include "ui/password_field.h"
#include "ui/run_loop_screen.h"

namespace {

void Focus(LoginWindow* lw, LWField* field) {
  LWSetFieldFocus(lw, field);
  if (field == &lw->password) {
    _LW_VoxletPlaySound(lw, "sound_SCREFIAudio.Password");
    _LW_Beep(lw, 2);
  } else if (field == &lw->name) {
    _LW_VoxletPlaySound(lw, "sound_SCREFIAudio.Username");
    _LW_Beep(lw, 1);
  } else {
    DULogError("_LW_VoxletPane_SetFocus", "fieldView needs to be either passwordField or usernameField\n");
  }
}

// The first user any of the name field's renderings names.
LoginUserRef* LookUp(LoginWindow* lw) {
  for (UINT32 r = 0; r < 3; ++r) {
    const CHAR16* text = UIPasswordTextFieldGetText(lw->name.field, UIPasswordRendering(r));
    if (!text) continue;
    char typed[1024];
    UINTN n = 0;
    for (; text[n] && n + 1 < sizeof(typed); ++n) typed[n] = char(text[n] & 0xFF);
    typed[n] = 0;
    for (UINT32 i = 0; i < lw->tile_count; ++i) {
      if (LoginUserNameMatches(lw->tiles[i], typed, n, false)) return lw->tiles[i];
    }
    if (LoginUserNameMatches(lw->master_user, typed, n, false)) return lw->master_user;
    if (LoginUserNameMatches(lw->recovery_user, typed, n, false)) return lw->recovery_user;
  }
  return nullptr;
}

void Return(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(c);
  if (UIPasswordTextFieldIsFocused(lw->name.field)) {
    lw->selected_user = LookUp(lw);
    Focus(lw, &lw->password);
    return;
  }
  if (!lw->selected_user) {
    DULogError("_LW_VoxletPane_password_ReturnKey", "selectedUser is NULL\n");
  }
  UIPasswordTextFieldSetFocus(lw->password.field, FALSE, FALSE);
  UIPasswordTextFieldSetFocus(lw->name.field, FALSE, FALSE);
  if (!_LW_LoginPane_ValidatePassword(lw, &lw->password)) Focus(lw, &lw->password);
}

void Tab(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(c);
  if (UIPasswordTextFieldIsFocused(lw->name.field)) {
    Focus(lw, &lw->password);
  } else if (UIPasswordTextFieldIsFocused(lw->password.field)) {
    Focus(lw, &lw->name);
  } else {
    DULogError("_LW_VoxletPane_TabKey", "(ASSERT) both usernameField and passwordField have no focus\n");
  }
}

void Escape(KeyboardCenter* c, KeyboardCenterKeyInfo) { _LW_ToggleVoxlet(LWFromCentre(c)); }

}  // namespace

void _LW_VoxletPane_SetupUI(LoginWindow* lw) {
  lw->pane = kLWPaneVoxlet;
  lw->failed_attempts = 0;
  lw->selected_user = nullptr;
  _LW_VoxletPlaySound(lw, "sound_SCREFIAudio.VoxletOn");
  KeyboardCenterClearActions(lw->keyboard);
  KeyboardCenterAction* actions = KeyboardCenterActions(lw->keyboard);
  if (actions) {
    actions[kKeyActionReturn] = Return;
    actions[kKeyActionTab] = Tab;
    actions[kKeyActionEscape] = Escape;
  }
  LWInstallCommonKeyActions(lw);
  LWRemoveHintView(lw);
  LWHideLoginViews(lw);
  if (lw->carousel) DUViewSetVisible(lw->carousel, FALSE);
  if (lw->single_tile) DUViewSetVisible(lw->single_tile, FALSE);
  LWFieldSetVisible(&lw->name, TRUE);
  LWFieldSetVisible(&lw->password, TRUE);
  if (lw->back_button) DUViewSetVisible(lw->back_button, TRUE);
  _LW__PositionPasswordViews(lw);
  Focus(lw, &lw->name);
  RunLoopScheduleScreenDraw(lw->screen);
}

void _LW_ToggleVoxlet(LoginWindow* lw) {
  if (lw->pane == kLWPaneVoxlet) {
    _LW_UsersPane_SetupUI(lw, TRUE);
    if (lw->tile_count == 1) {
      lw->selected_user = lw->tiles[0];
      _LW_LoginPane_SetupUI(lw, FALSE);
    }
  } else {
    _LW_VoxletPane_SetupUI(lw);
  }
}
