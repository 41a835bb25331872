// The users pane: the carousel with its keyboard selection and type-select, or the single
// tile that goes straight to the login pane.
#include "draw/log_error.h"
#include "lib/mem.h"
#include "login/window_internal.h"
#include "ui/carousel.h"
#include "ui/password_field.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"
#include "ui/timer.h"
#include "ui/view_animation.h"

namespace {

void Left(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  if (DUView* carousel = LWFromCentre(c)->carousel) UICarouselViewMoveKeyboardSelectionLeft(carousel);
}
void Right(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  if (DUView* carousel = LWFromCentre(c)->carousel) UICarouselViewMoveKeyboardSelectionRight(carousel);
}
void Activate(KeyboardCenter* c, KeyboardCenterKeyInfo) {
  if (DUView* carousel = LWFromCentre(c)->carousel) UICarouselViewActivateKeyboardSelection(carousel);
}
void TypeSelect(KeyboardCenter* c, KeyboardCenterKeyInfo info) { _LW_UsersPane_TypeSelect(LWFromCentre(c), info); }

EFI_STATUS RemoveTypeSelectDeferred(RunLoop*, void* context, UINTN) {
  auto* lw = static_cast<LoginWindow*>(context);
  TimerRelease(&lw->type_select_timer);
  if (lw->type_select_field) {
    DUScreenRemoveView(lw->screen, lw->type_select_field);
    lw->type_select_field = nullptr;
    _LW_Redraw(lw);
  }
  return EFI_SUCCESS;
}

void EFIAPI TypeSelectTimer(EFI_EVENT, void* context) {
  RunLoopExecuteDeferredFunc(RemoveTypeSelectDeferred, context, 0, "_LW_UsersPane_TypeSelectTimer");
}

// The typed text as 8-bit bytes (units above 0xFF cannot match a name byte and end it).
UINTN TypedBytes(DUView* field, UIPasswordRendering rendering, char* out, UINTN room) {
  const CHAR16* text = UIPasswordTextFieldGetText(field, rendering);
  UINTN n = 0;
  for (; text && text[n] && n + 1 < room; ++n) {
    if (text[n] > 0xFF) break;
    out[n] = char(text[n]);
  }
  out[n] = 0;
  return n;
}

}  // namespace

void _LW_UsersPane_SetupUI(LoginWindow* lw, BOOLEAN animate) {
  if (lw->pane == kLWPaneVoxlet) _LW_VoxletPlaySound(lw, "sound_SCREFIAudio.VoxletOff");
  lw->pane = kLWPaneUsers;
  lw->selected_user = nullptr;
  KeyboardCenterClearActions(lw->keyboard);
  KeyboardCenterAction* actions = KeyboardCenterActions(lw->keyboard);
  if (actions) {
    actions[kKeyActionUp] = actions[kKeyActionLeft] = Left;
    actions[kKeyActionDown] = actions[kKeyActionRight] = Right;
    actions[kKeyActionReturn] = Activate;
    actions[kKeyActionOther] = TypeSelect;
  }
  LWInstallCommonKeyActions(lw);
  LWRemoveHintView(lw);
  LWHideLoginViews(lw);
  if (lw->carousel) {
    DUViewSetVisible(lw->carousel, TRUE);
    if (UICarouselViewSelectedIndex(lw->carousel) >= 0) UICarouselViewReturnToList(lw->carousel);
    if (animate) {
      DUViewSetTransparency(lw->carousel, 255);
      UIViewAnimateTransparency(lw->carousel, 0, kUIAnimationLinear, 200);
    }
  }
  if (lw->single_tile) DUViewSetVisible(lw->single_tile, TRUE);
  RunLoopScheduleScreenDraw(lw->screen);
}

void _LW_UsersPane_GoTo_LoginPane(LoginWindow* lw, LoginUserRef* user) {
  if (!user) {
    DULogError("_LW_UsersPane_GoTo_LoginPane", "No user was selected in table view\n");
    return;
  }
  lw->selected_user = user;
  _LW_LoginPane_SetupUI(lw, TRUE);
}

void _LW_UsersPane_TypeSelect(LoginWindow* lw, KeyboardCenterKeyInfo info) {
  const INT32 s = INT32(lw->scale);
  if (!lw->type_select_field) {
    UIPasswordFieldPictures pictures{};  // the placeholder stays invisible
    DURect frame = DURectMake((lw->screen->size.width - 100) / 2, lw->screen->size.height - 64, 17 * s, 100);
    if (UIPasswordTextFieldCreate(&lw->type_select_field, frame, pictures, &lw->layout, lw->background_shown) != 0) {
      lw->type_select_field = nullptr;
      return;
    }
    UIPasswordTextFieldSetFocus(lw->type_select_field, TRUE, FALSE);
    DUViewSetVisible(lw->type_select_field, FALSE);
    DUScreenAddView(lw->screen, lw->type_select_field);
  }
  UIPasswordTextFieldHandleKey(lw->type_select_field, info.key_code, UINT8(info.modifiers), FALSE);
  TimerDestroy(lw->type_select_timer);
  lw->type_select_timer = TimerCreate(TypeSelectTimer, lw, kLWTypeSelectDelay, FALSE);
  char typed[64];
  UINTN length = TypedBytes(lw->type_select_field, kUIRenderingType46, typed, sizeof(typed));
  INT32 match = -1;
  for (UINT32 i = 0; i < lw->tile_count && match < 0; ++i) {
    if (LoginUserNameMatches(lw->tiles[i], typed, length, true)) match = INT32(i);
  }
  // Then the special users, where they are tiles.
  LoginUserRef* specials[] = {lw->master_user, lw->recovery_user, lw->guest_user};
  for (LoginUserRef* special : specials) {
    if (match >= 0 || !LoginUserNameMatches(special, typed, length, true)) continue;
    for (UINT32 i = 0; i < lw->tile_count; ++i) {
      if (lw->tiles[i] == special) match = INT32(i);
    }
  }
  if (lw->carousel && UICarouselViewSetKeyboardSelectionIndex(lw->carousel, match) != 0) {
    DULogError("_LW_UsersPane_TypeSelect", "UICarouselViewSetKeyboardSelectionIndex failed with error: %d\n", 1);
  }
  RunLoopScheduleScreenDraw(lw->screen);
}
