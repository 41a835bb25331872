// The pop-ups under the password field: the hint and forgot-password pop-up (master
// password, recovery key, reset with the cloud account) and the guest pop-up; and the
// message view that fades in below the users.
#include "draw/log_error.h"
#include "login/window_internal.h"
#include "memory/memory.h"
#include "ui/archive_image.h"
#include "ui/popover.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"
#include "ui/view_animation.h"

namespace {

constexpr INT32 kPopoverWidth = 380;

struct PopoverBuilder {
  LoginWindow* lw;
  UIPopoverInfo info;
  bool ok = true;
};

DUPixel* PopoverPicture(LoginWindow* lw, const Archive* archive, const char* name, DUSize* size) {
  if (!archive || lw->popover_owned_count == sizeof(lw->popover_owned) / sizeof(lw->popover_owned[0])) return nullptr;
  DUPixel* pixels = nullptr;
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(archive, name, &pixels, size, &bytes, TRUE) != 0) return nullptr;
  lw->popover_owned[lw->popover_owned_count++] = pixels;
  return pixels;
}

void AddItem(PopoverBuilder* b, const Archive* archive, const char* name, const char* pressed, INT32 gap,
             UIPopoverItemCallback callback) {
  if (b->info.item_count == kUIPopoverMaxItems) return;
  DUSize size{};
  DUPixel* pixels = PopoverPicture(b->lw, archive, name, &size);
  if (!pixels) return;
  UINT32 i = b->info.item_count++;
  b->info.item_images[i] = pixels;
  b->info.item_sizes[i] = size;
  b->info.item_spacing[i] = gap * INT32(b->lw->scale);
  if (pressed) {
    DUSize pressed_size{};
    DUPixel* down = PopoverPicture(b->lw, archive, pressed, &pressed_size);
    if (down && pressed_size.width == size.width && pressed_size.height == size.height) {
      b->info.item_highlighted_images[i] = down;
    }
  }
  b->info.item_callbacks[i] = callback;
  b->info.item_contexts[i] = b->lw;
}

void ToMaster(DUView*, void* context) { _LW_LoginPane_GoTo_MasterPasswordPane(static_cast<LoginWindow*>(context)); }
void ToRecovery(DUView*, void* context) { _LW_LoginPane_GoTo_RecoveryPasswordPane(static_cast<LoginWindow*>(context)); }
void ResetWithAccount(DUView*, void* context) { LWExit(static_cast<LoginWindow*>(context), kLoginExitPasswordReset); }
void GuestChosen(DUView*, void* context) { LWExit(static_cast<LoginWindow*>(context), kLoginExitGuest); }

// The arrow sits on the pop-up's top edge (covering the edge's line under it), centred
// arrow_offset from the pop-up's centre, drawn over the pop-up.
DUView* AddArrow(LoginWindow* lw, const DUView* popover, INT32 arrow_offset) {
  DUPixel* pixels = nullptr;
  DUSize size{};
  UINTN bytes = 0;
  if (!lw->loginui_archive ||
      ArchiveCopyPNGImage(lw->loginui_archive, "loginui_popover_uparrow.png", &pixels, &size, &bytes, TRUE) != 0) {
    return nullptr;
  }
  const INT32 x = popover->frame.x + popover->frame.width / 2 + arrow_offset - size.width / 2;
  const INT32 y = popover->frame.y - size.height + INT32(lw->scale);
  DUView* arrow = nullptr;
  if (EFI_ERROR(DUViewCreateWithImage(DURect{x, y, size.height, size.width}, pixels, bytes, &arrow))) return nullptr;
  (void)DUViewSetZOrder(arrow, kUIPopoverZOrder);  // added after the pop-up, so drawn over it
  DUViewSetTransparency(arrow, 255);
  if (EFI_ERROR(DUScreenAddView(lw->screen, arrow))) {
    DUViewDestroy(arrow);
    return nullptr;
  }
  UIViewAnimateTransparency(arrow, 0, kUIAnimationLinear, 100);
  return arrow;
}

// _LW_LoginPane_HintView_Create: frame pictures, then the items; the pop-up hangs below the
// password field, fading in over 100 ms, its arrow arrow_offset right of its centre.
DUView* Show(PopoverBuilder* b, INT32 arrow_offset) {
  LoginWindow* lw = b->lw;
  const INT32 s = INT32(lw->scale);
  UIPopoverInfo& info = b->info;
  info.width = kPopoverWidth * s;
  info.top_frame_image = PopoverPicture(lw, lw->loginui_archive, "loginui_popover_top.png", &info.top_frame_size);
  info.tile_frame_image = PopoverPicture(lw, lw->loginui_archive, "loginui_popover_tile.png", &info.tile_frame_size);
  info.bottom_frame_image = PopoverPicture(lw, lw->loginui_archive, "loginui_popover_bottom.png", &info.bottom_frame_size);
  if (info.item_count == 0) return nullptr;
  DUView* view = nullptr;
  if (UIPopoverCreate(&view, info) != 0 || !view) return nullptr;
  INT32 x = (lw->screen->size.width - view->frame.width) / 2;
  INT32 y = lw->screen->size.height / 2 + 30 * s;
  if (lw->password.no_focus_frame) y = lw->password.no_focus_frame->frame.y + lw->password.no_focus_frame->frame.height;
  DUViewSetOrigin(view, DUPoint{x, y});
  DUViewSetTransparency(view, 255);
  if (EFI_ERROR(DUScreenAddView(lw->screen, view))) {
    DUViewDestroy(view);
    return nullptr;
  }
  UIPopoverRegisterForEvents(view);
  UIViewAnimateTransparency(view, 0, kUIAnimationLinear, 100);
  lw->hint_arrow = AddArrow(lw, view, arrow_offset);
  if (!lw->hint_arrow) DULogError("_LW_LoginPane_HintView_Create", "no arrow for the pop-up\n");
  return view;
}

void FreePopoverPictures(LoginWindow* lw) {
  for (UINT32 i = 0; i < lw->popover_owned_count; ++i) PoolFree(lw->popover_owned[i]);
  lw->popover_owned_count = 0;
}

}  // namespace

void LWRemoveHintView(LoginWindow* lw) {
  if (lw->hint_arrow) {
    DUScreenRemoveView(lw->screen, lw->hint_arrow);
    lw->hint_arrow = nullptr;
  }
  if (lw->hint_view) {
    DUScreenRemoveView(lw->screen, lw->hint_view);
    lw->hint_view = nullptr;
  }
  FreePopoverPictures(lw);
}

void _LW_LoginPane_ForgotPassword(LoginWindow* lw) {
  LWRemoveHintView(lw);
  PopoverBuilder b{lw, {}};
  const Archive* ui = lw->loginui_archive;
  LoginUserRef* user = lw->selected_user;
  const LoginPicture* hint = LoginUserPicture(user, kLoginPictureHint);
  if (lw->pane == kLWPaneMaster || lw->pane == kLWPaneRecovery) {
    bool master = lw->pane == kLWPaneMaster;
    const char* title = master ? (hint ? "loginui_master_popmsg_with_hint_title.png" : "loginui_master_popmsg_title.png")
                               : (hint ? "loginui_recovery_popmsg_with_hint_title.png"
                                       : "loginui_recovery_popmsg_title.png");
    AddItem(&b, ui, title, nullptr, 10, nullptr);
    if (!master) {
      AddItem(&b, ui, "loginui_recovery_popmsg_call_tarn.png", nullptr, 10, nullptr);
      AddItem(&b, ui, "loginui_recovery_popmsg_service_records.png", nullptr, 10, nullptr);
    }
  } else {
    if (hint) {
      AddItem(&b, ui, "loginui_popmsg_passhint_title.png", nullptr, 15, nullptr);
      AddItem(&b, ui, "loginui_hint_divider_line.png", nullptr, 12, nullptr);
      // The user's own hint picture lives in the user's archive.
      AddItem(&b, user->archive, "password_hint.png", nullptr, 6, nullptr);
    } else {
      DULogError("_LW_LoginPane_ShowHint", "no hint available\n");
    }
    AddItem(&b, ui, "loginui_popmsg_if_you_forgot_title.png", nullptr, 10, nullptr);
    if (lw->master_user) {
      AddItem(&b, ui, "loginui_popmsg_reset_with_master_up.png", "loginui_popmsg_reset_with_master_down.png", 3, ToMaster);
    }
    if (lw->recovery_user) {
      AddItem(&b, ui, "loginui_popmsg_reset_with_recovery_up.png", "loginui_popmsg_reset_with_recovery_down.png", 3,
              ToRecovery);
    }
    AddItem(&b, ui, "loginui_reset_with_nimbra_up.png", "loginui_reset_with_nimbra_down.png", 3, ResetWithAccount);
  }
  // The arrow points at the hint button beside the password field.
  INT32 offset = 0;
  if (lw->hint_button && lw->password.focus_frame) {
    const DURect button = lw->hint_button->frame;
    const DURect frame = lw->password.focus_frame->frame;
    offset = (button.x + button.width / 2) - (frame.x + frame.width / 2);
  }
  lw->hint_view = Show(&b, offset);
  if (!lw->hint_view) FreePopoverPictures(lw);
  _LW_MessageView_MakeVisible(lw, TRUE);
  RunLoopScheduleScreenDraw(lw->screen);
}

void _LW_GuestUserPopover_Setup(LoginWindow* lw) {
  LWRemoveHintView(lw);
  PopoverBuilder b{lw, {}};
  const Archive* ui = lw->loginui_archive;
  if (lw->guest_warning) {
    AddItem(&b, ui, "loginui_popmsg_guest_warning_msg.png", nullptr, 10, nullptr);
    AddItem(&b, ui, "loginui_popmsg_guest_warning_button_up.png", "loginui_popmsg_guest_warning_button_down.png", 3,
            GuestChosen);
  } else {
    AddItem(&b, ui, "loginui_popmsg_guest_info_msg.png", nullptr, 10, nullptr);
    AddItem(&b, ui, "loginui_popmsg_guest_info_button_up.png", "loginui_popmsg_guest_info_button_down.png", 3,
            GuestChosen);
  }
  lw->hint_view = Show(&b, 0);  // the guest tile has no hint button: the arrow stays centred
  if (!lw->hint_view) {
    FreePopoverPictures(lw);
    DULogError("_LW_GuestUserPopover_Setup", "_LW_LoginPane_HintView_Create returned a NULL hintView\n");
  }
}

void _LW_MessageView_MakeVisible(LoginWindow* lw, BOOLEAN visible) {
  if (!lw->message_view) {
    DULogError("_LW_MessageView_MakeVisible", "lw->messageView is NULL, cannot slide\n");
    return;
  }
  if (!visible) {
    DUViewSetVisible(lw->message_view, FALSE);
    return;
  }
  if (!lw->message_view->screen) DUScreenAddView(lw->screen, lw->message_view);
  if (lw->message_view->visible && lw->message_view->transparency == 0) return;
  DUViewSetVisible(lw->message_view, TRUE);
  for (UINT8 t = 255; t > 0; t = UINT8(t - 52)) {
    DUViewSetTransparency(lw->message_view, t);
    SleepFunnel(lw->screen, 50);
    if (t < 52) break;
  }
  DUViewSetTransparency(lw->message_view, 0);
}
