// The one door to the login window: the unlock stage calls FDELoginUIInitializeUsers,
// FDELoginUIRunLoop and FDELoginUIDestroy through this table, which the login window (login/)
// fills. kLoginUIAbsent stands in where there is no window: every initialisation fails and
// the stage takes its text path.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/simple_file_system.h"
#include "fde/lodestore.h"

// Flags handed to the login window.
constexpr UINT32 kLoginFlagAlways = 0x04;
constexpr UINT32 kLoginFlagHibernate = 0x08;
constexpr UINT32 kLoginFlagRecoveryAllowed = 0x10;  // password reset and guest may start recovery
constexpr UINT32 kLoginFlagRecoveryPresent = 0x20;
constexpr UINT32 kLoginFlagHiDpi = 0x40;

// Exit codes of the run loop.
constexpr UINT32 kLoginExitNone = 0;
constexpr UINT32 kLoginExitPassphrase = 1;     // a passphrase verified
constexpr UINT32 kLoginExitIdle = 2;           // idle or lid closed: shut down
constexpr UINT32 kLoginExitGuest = 3;          // boot the recovery system as guest
constexpr UINT32 kLoginExitRestart = 4;
constexpr UINT32 kLoginExitShutdown = 5;
constexpr UINT32 kLoginExitPasswordReset = 6;  // boot the recovery system for a reset

// What the login window may call back.
struct LoginUICallbacks {
  BOOLEAN (*verify_passphrase)(void* context, const LodestoreUser* user, const CHAR16* passphrase,
                               UnlockRecord* unlock);
  void* verify_context;  // the unlock record
  EFI_STATUS (*start_password_recovery)(void* context);
  void* recovery_context;
};

// The window's own record (the screen, the users' pictures, the window); opaque here.
struct LoginUIRecord;

// How the window ended.
struct LoginUIExitInfo {
  UINT32 exit_code;
  const LodestoreUser* user;           // the user whose passphrase verified (exit code 1)
  const LodestoreUser* user_to_reset;  // who forgot the password, when the master password
                                       // or the recovery key verified (exit code 1)
};

struct LoginUI {
  // FDELoginUIInitializeUsers: the users (panel list and the five special slots), the flags
  // and the callbacks; *out receives the record. EFI_VOLUME_CORRUPTED makes the booter
  // restart the machine.
  EFI_STATUS (*initialize_users)(LoginUIRecord** out, EFI_HANDLE image, EFI_SYSTEM_TABLE* system_table,
                                 EFI_FILE_PROTOCOL* root, UINT32 panel_count, LodestoreUser* const* panel,
                                 LodestoreUser* const* special, UINT32 flags, const LoginUICallbacks* callbacks);
  // FDELoginUIRunLoop: runs the window to its exit code.
  EFI_STATUS (*run_loop)(LoginUIRecord* ui, LoginUIExitInfo* exit_info);
  // FDELoginUIDestroy: closes the window, restores the display and frees the record (null
  // is ignored).
  EFI_STATUS (*destroy)(LoginUIRecord* ui);
};

// The stand-in while the booter has no login window: initialisation answers EFI_UNSUPPORTED.
extern const LoginUI kLoginUIAbsent;
