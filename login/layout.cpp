// Where the window's views go: footer buttons, the status items at the top right, the
// users above the password field, the fields centred on the screen.
#include "draw/log_error.h"
#include "login/window_internal.h"

namespace {

void CentreOn(DUView* view, INT32 cx, INT32 cy, const char* label) {
  if (!view) return;
  DURect frame = view->frame;
  frame.x = cx - frame.width / 2;
  frame.y = cy - frame.height / 2;
  EFI_STATUS status = DUViewSetFrame(view, frame);
  if (EFI_ERROR(status)) DULogError("_LW__PositionFooterButtons", "DUViewSetFrame() failed for %s, err: %d\n", label, INT32(status));
}

void MoveTo(DUView* view, INT32 x, INT32 y) {
  if (view) DUViewSetOrigin(view, DUPoint{x, y});
}

// A field inside its frame: the frame's centre, the field's text nearer its left edge.
void PlaceField(const LWField& field, INT32 x, INT32 y, DUPoint shake) {
  if (!field.no_focus_frame || !field.field) return;
  const DURect& frame = field.no_focus_frame->frame;
  MoveTo(field.no_focus_frame, x + shake.x, y + shake.y);
  if (field.focus_frame) {
    const DURect& focus = field.focus_frame->frame;
    MoveTo(field.focus_frame, x + (frame.width - focus.width) / 2 + shake.x, y + (frame.height - focus.height) / 2 + shake.y);
  }
  const DURect& text = field.field->frame;
  MoveTo(field.field, x + (frame.width - text.width) / 2 + shake.x, y + (frame.height - text.height) / 2 + shake.y);
}

bool Validate(LoginWindow* lw) {
  struct {
    const void* view;
    const char* name;
  } required[] = {{lw->password.focus_frame, "lw->passwordFocusView is NULL"},
                  {lw->name.focus_frame, "lw->usernameFocusView is NULL"},
                  {lw->recovery_key.focus_frame, "lw->recoveryKeyFocusView is NULL"},
                  {lw->password.no_focus_frame, "lw->passwordNoFocusView is NULL"},
                  {lw->name.no_focus_frame, "lw->usernameNoFocusView is NULL"},
                  {lw->recovery_key.no_focus_frame, "lw->recoveryKeyNoFocusView is NULL"},
                  {lw->password.field, "lw->passwordField is NULL"},
                  {lw->name.field, "lw->usernameField is NULL"},
                  {lw->recovery_key.field, "lw->recoveryKeyField is NULL"}};
  for (const auto& r : required) {
    if (!r.view) {
      DULogError("_LW__PositionPasswordViews", "%s\n", r.name);
      DULogError("_LW__PositionPasswordViews", "Validation of text fields failed --> ABORT\n");
      return false;
    }
  }
  return true;
}

}  // namespace

void _LW__PositionPasswordViews(LoginWindow* lw) {
  if (!Validate(lw)) return;
  const INT32 s = INT32(lw->scale);
  const INT32 W = lw->screen->size.width, H = lw->screen->size.height;
  const DURect& password = lw->password.no_focus_frame->frame;
  INT32 top = H / 2 - password.height / 2 + 8 * s;
  PlaceField(lw->password, (W - password.width) / 2, top, lw->shake);
  const DURect& name = lw->name.no_focus_frame->frame;
  PlaceField(lw->name, (W - name.width) / 2, top - 20 * s - lw->name.field->frame.height - name.height / 2, lw->shake);
  const DURect& recovery = lw->recovery_key.no_focus_frame->frame;
  PlaceField(lw->recovery_key, (W - recovery.width) / 2, top, lw->shake);
  // The go button right of the shown field, the back button left of it, the hint button right;
  // the recovery-key field is wider than the password field.
  const INT32 width = lw->pane == kLWPaneRecovery ? recovery.width : password.width;
  INT32 mid = top + password.height / 2;
  if (lw->go_button) CentreOn(lw->go_button, (W + width) / 2 + lw->go_button->frame.width / 2 + 6 * s + lw->shake.x, mid, "goButton");
  if (lw->hint_button) CentreOn(lw->hint_button, (W + width) / 2 + lw->hint_button->frame.width / 2 + 6 * s + lw->shake.x, mid, "hintButton");
  if (lw->back_button) CentreOn(lw->back_button, (W - width) / 2 - lw->back_button->frame.width / 2 - 6 * s + lw->shake.x, mid, "backButton");
  // The users sit above the password field.
  DUView* users = lw->carousel ? lw->carousel : lw->single_tile;
  if (users) MoveTo(users, (W - users->frame.width) / 2, top - 20 * s - users->frame.height);
}

void _LW_PositionUIElements(LoginWindow* lw) {
  const INT32 s = INT32(lw->scale);
  const INT32 W = lw->screen->size.width, H = lw->screen->size.height;
  // Footer: restart left and shut-down right of the centre, apart by at least 94 s.
  INT32 y = H - 94 * s;
  INT32 distance = 47 * s;
  INT32 widths = (lw->restart_button ? lw->restart_button->frame.width : 0) +
                 (lw->shutdown_button ? lw->shutdown_button->frame.width : 0);
  INT32 excess = widths / 2 - 94 * s;
  if (excess > 16 * s) distance += excess / 2;
  CentreOn(lw->restart_button, W / 2 - distance, y, "restartButton");
  CentreOn(lw->shutdown_button, W / 2 + distance, y, "shutdownButton");
  // Status items at the top right.
  INT32 right = W - 4 * s;
  DUView* flag = lw->flag_picker ? lw->flag_picker->button : nullptr;
  if (flag) {
    MoveTo(flag, right - flag->frame.width, 2);
    if (flag->visible) right = flag->frame.x;
  }
  if (lw->battery_view) MoveTo(lw->battery_view, right - lw->battery_view->frame.width, 2);
  if (lw->message_view) MoveTo(lw->message_view, (W - lw->message_view->frame.width) / 2, H - 129 * s - lw->message_view->frame.height);
  _LW__PositionPasswordViews(lw);
}
