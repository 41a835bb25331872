#include "draw/log_error.h"
#include "draw/display.h"
#include "lib/mem.h"
#include "login/window_internal.h"
#include "ui/archive_files.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

const char kLWCanaryText[kLWCanarySize + 1] = "hearth-login-canary!";

namespace {

void EFIAPI LogoDelayDone(EFI_EVENT, void* context) { static_cast<LoginWindow*>(context)->logo_delay_done = TRUE; }

bool Contains(LoginUserRef* const* tiles, UINT32 count, const LoginUserRef* user) {
  for (UINT32 i = 0; i < count; ++i) {
    if (tiles[i] == user) return true;
  }
  return false;
}

}  // namespace

bool LWCanariesIntact(const LoginWindow* lw) {
  return lw && MemCompare(lw->canary_head, kLWCanaryText, kLWCanarySize) == 0 &&
         MemCompare(lw->canary_tail, kLWCanaryText, kLWCanarySize) == 0;
}

UINTN LoginWindowCreate(LoginWindow* lw, DUScreen* screen, EFI_FILE_PROTOCOL* root, UINT32 tile_count,
                        LoginUserRef* const* tiles, LoginUserRef* auto_user, LoginUserRef* master_user,
                        LoginUserRef* recovery_user, LoginUserRef* guest, BOOLEAN option_a, BOOLEAN guest_warning,
                        BOOLEAN show_recovery_message, LWValidatePasswordFunction validate,
                        LWDidShowRecoveryMessageFunction did_show_recovery_message, void* callback_context) {
  if (!lw) {
    DULogError("LoginWindowCreate", "lw is NULL\n");
    return 1;
  }
  MemZero(lw, sizeof(*lw));
  lw->screen = screen;
  lw->root = root;
  lw->scale = DUScaleFactor() > 1 ? 2 : 1;
  if (root && LWCreateLocalizedArchiveAdv(root, u"loginui.efires", &lw->loginui_archive, nullptr) != 0) {
    lw->loginui_archive = nullptr;
  }
  if (lw->loginui_archive && SystemPreferencesCreate(&lw->preferences, lw->loginui_archive) != 0) {
    lw->preferences = nullptr;
  }
  if (tile_count > kLWMaxTiles - 1) tile_count = kLWMaxTiles - 1;
  for (UINT32 i = 0; i < tile_count; ++i) lw->tiles[i] = tiles[i];
  lw->tile_count = tile_count;
  if (guest && lw->preferences && SystemPreferencesShowGuest(lw->preferences)) lw->tiles[lw->tile_count++] = guest;
  if (auto_user && !Contains(lw->tiles, lw->tile_count, auto_user)) {
    DULogError("LoginWindowCreate", "'automaticallySelectedUser' is not part of the panel's 'users'\n");
    auto_user = nullptr;
  }
  lw->auto_user = auto_user;
  lw->master_user = master_user;
  lw->recovery_user = recovery_user;
  lw->guest_user = guest;
  lw->option_a = option_a;
  lw->guest_warning = guest_warning;
  lw->show_recovery_message = show_recovery_message;
  lw->validate = validate;
  lw->did_show_recovery_message = did_show_recovery_message;
  lw->callback_context = callback_context;
  MemCopy(lw->canary_head, kLWCanaryText, kLWCanarySize);
  MemCopy(lw->canary_tail, kLWCanaryText, kLWCanarySize);
  if (!lw->loginui_archive) {
    DULogError("LoginWindowCreate",
               "Impossible to load loginui.efires Archive ===> ABORT: we don't even have minimal UI support\n");
    return 1;
  }
  return 0;
}

void LoginWindowStartTarnLogoTimer(LoginWindow* lw) {
  if (!lw) return;
  lw->logo_delay_done = FALSE;
  TimerDestroy(lw->logo_timer);
  lw->logo_timer = TimerCreate(LogoDelayDone, lw, kLWLogoDelay, FALSE);
  if (!lw->logo_timer) {
    DULogError("LoginWindowStartTarnLogoTimer", "Tarn Logo delay timer create failed\n");
    lw->logo_delay_done = TRUE;
  }
}

UINTN LoginWindowDestroy(LoginWindow* lw) {
  if (!LWCanariesIntact(lw)) {
    DULogError("LoginWindowDestroy", "Login window has no valid canaries. Destroy operation canceled.\n");
    return 1;
  }
  TimerRelease(&lw->logo_timer);
  LWDestroyAllViews(lw);
  LWSoundsRelease(lw);
  if (lw->keyboard) KeyboardCenterDestroy(lw->keyboard);
  lw->keyboard = nullptr;
  SystemPreferencesDestroy(lw->preferences);
  lw->preferences = nullptr;
  ArchiveDestroy(lw->loginui_archive);
  lw->loginui_archive = nullptr;
  return 0;
}

void _LW_Redraw(LoginWindow* lw) {
  if (!lw || !lw->screen) return;
  EFI_STATUS status = DUScreenDraw(lw->screen);
  if (EFI_ERROR(status)) DULogError("_LW_Redraw", "DUScreenDraw failed: 0x%X\n", UINT32(status));
}

void LWExit(LoginWindow* lw, UINT32 exit_code) {
  lw->exit_code = exit_code;
  RunLoopExit();
  _LW_Redraw(lw);
}
