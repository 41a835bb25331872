// The login window: the full-screen window in which the user unlocks the encrypted boot
// volume. Users pane (carousel, or a single tile), login pane, Voxlet (screen-reader) pane,
// master-password and recovery-key panes; the window runs on the run loop until an exit
// code is chosen and returns it with the user who unlocked.
#pragma once

#include "draw/screen.h"
#include "efi/efi.h"
#include "fde/login_ui.h"
#include "login/users.h"
#include "ui/archive.h"
#include "ui/battery.h"
#include "ui/flag_picker.h"
#include "ui/key_translate.h"
#include "ui/keyboard_centre.h"
#include "ui/preferences.h"

constexpr UINTN kLWCanarySize = 20;
extern const char kLWCanaryText[kLWCanarySize + 1];

enum LWPane : UINT32 {
  kLWPaneUsers = 0,
  kLWPaneLogin = 1,
  kLWPaneVoxlet = 2,
  kLWPaneMaster = 3,
  kLWPaneRecovery = 4,
};

constexpr UINT32 kLWMaxTiles = 64;
constexpr UINT32 kLWIdleLimit = 15;                     // the 16th idle check ends the window
constexpr UINT64 kLWIdlePeriod = 200000000;             // 20 s
constexpr UINT64 kLWRecoveryMessageDelay = 600000000;   // 60 s
constexpr UINT64 kLWTypeSelectDelay = 5000000;          // 500 ms
constexpr UINT64 kLWLogoDelay = 15000000;               // 1.5 s
constexpr UINT32 kLWSoundQueueLength = 5;

struct LoginWindow;
typedef BOOLEAN (*LWValidatePasswordFunction)(LoginWindow* lw, LoginUserRef* user, const CHAR16* passphrase,
                                              void* context);
typedef void (*LWDidShowRecoveryMessageFunction)(LoginWindow* lw, void* context);

struct LWSounds {
  struct TarnAudioProtocol* audio;
  struct TarnBeepGenProtocol* beep;
  BOOLEAN audio_looked_up;
  BOOLEAN beep_looked_up;
  Archive* archive;               // "sound.efires"
  BOOLEAN archive_tried;
  char queue[kLWSoundQueueLength][kArchiveNameSize];  // the last requests still waiting
  UINT32 queued;
  EFI_EVENT drain_timer;
};

struct LWField {
  DUView* field;
  DUView* focus_frame;
  DUView* no_focus_frame;
};

struct LoginWindow {
  char canary_head[kLWCanarySize];
  // Context.
  DUScreen* screen;
  EFI_FILE_PROTOCOL* root;        // where the window's archives are found
  UINT32 scale;
  SystemPreferences* preferences;
  // Users.
  UINT32 tile_count;
  LoginUserRef* tiles[kLWMaxTiles];
  LoginUserRef* auto_user;
  LoginUserRef* master_user;
  LoginUserRef* recovery_user;
  LoginUserRef* guest_user;
  // Options.
  BOOLEAN option_a;
  BOOLEAN guest_warning;
  BOOLEAN show_recovery_message;
  // Callbacks.
  LWValidatePasswordFunction validate;
  LWDidShowRecoveryMessageFunction did_show_recovery_message;
  void* callback_context;
  BOOLEAN recovery_message_fired;
  // Archives.
  Archive* loginui_archive;
  Archive* font_archive;
  Archive* flag_picker_archive;
  Archive* battery_archive;
  BOOLEAN background_shown;      // a background picture sits behind the window
  // State.
  UINT32 pane;
  LoginUserRef* selected_user;
  UINT32 failed_attempts;
  UINT32 exit_code;
  EFIKeyLayout layout;
  BOOLEAN logo_delay_done;
  EFI_EVENT logo_timer;
  // Views.
  DUView* carousel;
  DUView* single_tile;
  DUView* restart_button;
  DUView* shutdown_button;
  DUView* go_button;
  DUView* back_button;
  DUView* hint_button;
  LWField name;
  LWField password;
  LWField recovery_key;
  DUView* type_select_field;
  DUView* battery_view;
  UIBatteryMonitor* battery_monitor;
  UIFlagPicker* flag_picker;
  DUView* hint_view;             // the hint / forgot-password or guest pop-up
  DUView* hint_arrow;            // its arrow, above its top edge; comes and goes with it
  DUView* message_view;
  BOOLEAN message_is_ribbon;
  DUView* progress_bar;
  DUView* guide_view;
  DUView* logo_view;
  DUPoint shake;                 // added to the password views while shaking
  // Pictures the views point at and the window frees: field pictures, carousel tiles,
  // pop-up items.
  DUPixel* owned[48];
  UINT32 owned_count;
  DUPixel* popover_owned[24];    // the pictures of the current pop-up
  UINT32 popover_owned_count;
  void* carousel_tiles;          // UICarouselTileBuffers per tile
  DUPixel* blank_tile;           // for users whose pictures do not fit the tiles
  struct LWGlyphCache* glyphs;
  // Timers.
  EFI_EVENT idle_timer;
  EFI_EVENT recovery_timer;
  EFI_EVENT type_select_timer;
  EFI_EVENT focus_timer;
  // Idle and lid.
  DUPoint last_cursor;
  UINT64 last_key_count;
  UINT32 idle_count;
  BOOLEAN lid_closed_on_battery;
  // Keyboard.
  KeyboardCenter* keyboard;
  LWSounds sounds;
  char canary_tail[kLWCanarySize];
};

// 0, or 1 when "loginui.efires" cannot be loaded (logged). tiles holds tile_count users.
UINTN LoginWindowCreate(LoginWindow* lw, DUScreen* screen, EFI_FILE_PROTOCOL* root, UINT32 tile_count,
                        LoginUserRef* const* tiles, LoginUserRef* auto_user, LoginUserRef* master_user,
                        LoginUserRef* recovery_user, LoginUserRef* guest, BOOLEAN option_a, BOOLEAN guest_warning,
                        BOOLEAN show_recovery_message, LWValidatePasswordFunction validate,
                        LWDidShowRecoveryMessageFunction did_show_recovery_message, void* callback_context);
// Creates the views, runs until an exit code and fills exit_info. 0, or 1 (broken canaries,
// nothing drawn) or the failure of the views.
EFI_STATUS LoginWindowRunRunLoop(LoginWindow* lw, LoginUIExitInfo* exit_info, DUView* logo_view);
// Refused (1) when the canaries are broken; else removes and frees everything it made.
UINTN LoginWindowDestroy(LoginWindow* lw);
void LoginWindowStartTarnLogoTimer(LoginWindow* lw);
bool LWCanariesIntact(const LoginWindow* lw);
