// What every pane shares: focus, the keys that edit the focused field, the text-changed
// reaction, and the keys that act the same in every pane.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "ui/button.h"
#include "ui/password_field.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"
#include "ui/view_animation.h"

namespace {

LWField* FocusedField(LoginWindow* lw) {
  LWField* fields[] = {&lw->name, &lw->password, &lw->recovery_key};
  for (LWField* f : fields) {
    if (f->field && UIPasswordTextFieldIsFocused(f->field)) return f;
  }
  return nullptr;
}

void CommandF5(KeyboardCenter* centre, KeyboardCenterKeyInfo) { _LW_ToggleVoxlet(LWFromCentre(centre)); }

// The guide: thin lines that show where the views' edges and centres are.
void ToggleGuide(KeyboardCenter* centre, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(centre);
  if (!lw->guide_view) {
    const DUSize size = lw->screen->size;
    if (DUViewCreate(DURectMake(0, 0, size.height, size.width), &lw->guide_view) != EFI_SUCCESS) return;
    for (INT32 x = 0; x < size.width; ++x) {
      lw->guide_view->pixels[size_t(size.height / 2) * size.width + x] = 0xC80000FF;
    }
    for (INT32 y = 0; y < size.height; ++y) lw->guide_view->pixels[size_t(y) * size.width + size.width / 2] = 0xC8FF0000;
    DUViewSetZOrder(lw->guide_view, kDUZOrderMax);
    DUViewSetVisible(lw->guide_view, FALSE);
    DUScreenAddView(lw->screen, lw->guide_view);
  }
  DUViewSetVisible(lw->guide_view, !lw->guide_view->visible);
  _LW_Redraw(lw);
}

// Command-space: the flag picker button blinks three times.
void CommandSpace(KeyboardCenter* centre, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(centre);
  DUView* flag = lw->flag_picker ? lw->flag_picker->button : nullptr;
  if (!flag || !flag->visible) return;
  for (int i = 0; i < 3; ++i) {
    DUViewSetVisible(flag, FALSE);
    SleepFunnel(lw->screen, 100);
    DUViewSetVisible(flag, TRUE);
    SleepFunnel(lw->screen, 100);
  }
}

// The caps-lock indicator follows the modifier keys.
void Modifiers(KeyboardCenter* centre, KeyboardCenterKeyInfo) {
  LoginWindow* lw = LWFromCentre(centre);
  if (LWField* focused = FocusedField(lw)) {
    auto* field = _UIPasswordTextFieldFromView(focused->field, "_LW_ModifiersChanged");
    if (field) _UIPasswordTextFieldRedraw(field, TRUE);
  }
}

}  // namespace

LoginWindow* LWFromCentre(KeyboardCenter* centre) { return static_cast<LoginWindow*>(centre->context); }

void LWInstallCommonKeyActions(LoginWindow* lw) {
  KeyboardCenterAction* actions = KeyboardCenterActions(lw->keyboard);
  if (!actions) return;
  actions[kKeyActionCommandF5] = CommandF5;
  actions[kKeyActionAllModifiersF2] = ToggleGuide;
  actions[kKeyActionCommandSpace] = CommandSpace;
  actions[kKeyActionModifiers] = Modifiers;
}

void LWSetFieldFocus(LoginWindow* lw, LWField* target) {
  LWField* fields[] = {&lw->name, &lw->password, &lw->recovery_key};
  for (LWField* f : fields) {
    if (!f->field) continue;
    BOOLEAN focus = f == target;
    UIPasswordTextFieldSetFocus(f->field, focus, FALSE);
    if (f->focus_frame) DUViewSetVisible(f->focus_frame, focus && f->field->visible);
  }
  RunLoopScheduleScreenDraw(lw->screen);
}

void LWTextChanged(DUView* view, void* context) {
  auto* lw = static_cast<LoginWindow*>(context);
  bool watched = (view == lw->password.field && lw->pane >= kLWPaneLogin && lw->pane <= kLWPaneMaster) ||
                 (view == lw->recovery_key.field && lw->pane == kLWPaneRecovery);
  if (!watched) return;
  BOOLEAN empty = UIPasswordTextFieldIsEmpty(view);
  if (lw->go_button) {
    DUViewSetTransparency(lw->go_button, 0);
    DUViewSetVisible(lw->go_button, !empty);
  }
  if (lw->hint_button) {
    DUViewSetVisible(lw->hint_button,
                     empty && lw->pane != kLWPaneVoxlet && lw->selected_user && _LW_LoginPane_IsHintAvailable(lw));
  }
  if (!empty && lw->hint_view) {
    DUViewSetTransparency(lw->hint_view, 255);
    if (lw->hint_arrow) DUViewSetTransparency(lw->hint_arrow, 255);
    LWRemoveHintView(lw);
  }
  RunLoopScheduleScreenDraw(lw->screen);
}

void LWHideLoginViews(LoginWindow* lw) {
  LWField* fields[] = {&lw->name, &lw->password, &lw->recovery_key};
  for (LWField* f : fields) {
    if (!f->field) continue;
    UIPasswordTextFieldSetFocus(f->field, FALSE, FALSE);
    UIPasswordTextFieldZeroOut(f->field);
    LWFieldSetVisible(f, FALSE);
  }
  DUView* buttons[] = {lw->go_button, lw->back_button, lw->hint_button};
  for (DUView* b : buttons) {
    if (b) DUViewSetVisible(b, FALSE);
  }
}
