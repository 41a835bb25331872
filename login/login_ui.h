// The entry of the graphical unlock screen: FDELoginUIInitializeUsers switches the display
// to graphics, makes the screen, the cursor and the logo, turns the key file's users into
// login users and creates the window; FDELoginUIRunLoop runs it; FDELoginUIDestroy gives
// the display back. kLoginUIWindow is the table the unlock stage calls them through.
#pragma once

#include "fde/login_ui.h"
#include "login/login_window.h"

// Failures before the window exists. An error status, so that the unlock stage sees it as
// one (a bare 1 would pass for a warning).
constexpr EFI_STATUS kLoginUIFailed = EFI_UNSUPPORTED;

constexpr UINT32 kLoginUIMaxUsers = kLWMaxTiles - 2;  // room for the disk user and the guest

struct LoginUIRecord {
  EFI_HANDLE image;
  EFI_SYSTEM_TABLE* system_table;
  EFI_FILE_PROTOCOL* root;
  DUScreen* screen;
  UINT32 previous_console_mode;
  BOOLEAN graphics_initialized;
  LoginWindow* window;
  BOOLEAN window_created;
  Archive* logo_archive;
  DUView* logo_view;
  DUView* background_view;
  BOOLEAN show_background;
  LoginStaticArchives statics;
  LoginUICallbacks callbacks;
  BOOLEAN hidpi;
  void* cursor_handle;             // the cursor's input-event registration
  INT32 cursor_hot_spot;
  UINT32 user_count;
  LoginUserRef* users[kLWMaxTiles];  // every reference made, freed at the end
};

EFI_STATUS FDELoginUIInitializeUsers(LoginUIRecord** out, EFI_HANDLE image, EFI_SYSTEM_TABLE* system_table,
                                     EFI_FILE_PROTOCOL* root, UINT32 user_count, LodestoreUser* const* users,
                                     LodestoreUser* const* special, UINT32 flags, const LoginUICallbacks* callbacks);
EFI_STATUS FDELoginUIRunLoop(LoginUIRecord* ui, LoginUIExitInfo* exit_info);
EFI_STATUS FDELoginUIDestroy(LoginUIRecord* ui);

// The HiDPI choice: "EFILoginHiDPI" when present (its first byte '1'), else flag 0x40.
bool LoginUIWantsHiDPI(UINT32 flags);

// _lw_ValidatePassword: the passphrase, normalised for the recovery-key user, to the
// unlock stage's verify function.
BOOLEAN _lw_ValidatePassword(LoginWindow* lw, LoginUserRef* user, const CHAR16* passphrase, void* context);

extern const LoginUI kLoginUIWindow;
