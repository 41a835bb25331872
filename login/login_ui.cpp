#include "login/login_ui.h"

#include "config/background_color.h"
#include "diag/log.h"
#include "draw/display.h"
#include "draw/log_error.h"
#include "draw/resample.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "output/console_mode.h"
#include "ui/archive_files.h"
#include "ui/archive_image.h"
#include "ui/event_protocol.h"
#include "ui/firmware_picture.h"
#include "ui/run_loop_screen.h"
#include "ui/view_animation.h"

namespace {

constexpr EFI_GUID kPictureDirectoryGuid = {0x1A10742F, 0xFA80, 0x4B79, {0x9D, 0xA6, 0x35, 0x70, 0x58, 0xCC, 0x39, 0x7B}};
constexpr INT32 kCursorDrop = 160;

void EFIAPI CursorMoved(TarnEventRecord* event, void* context) {
  auto* ui = static_cast<LoginUIRecord*>(context);
  DUView* cursor = ui->screen ? ui->screen->cursor : nullptr;
  if (!event || !cursor || !(event->Type & kTarnEventPointerMoved)) return;
  DUPoint to{event->Position.X - ui->cursor_hot_spot, event->Position.Y - ui->cursor_hot_spot};
  if (to.x == cursor->frame.x && to.y == cursor->frame.y) return;
  DUViewSetOriginDirect(cursor, to);
  RunLoopScheduleScreenDraw(ui->screen);
}

// The arrow drawn when the firmware has no cursor picture: black outline, white inside.
DUView* DrawnCursor(INT32 scale) {
  static const char* const kArrow[] = {"X", "XX", "X.X", "X..X", "X...X", "X....X", "X.....X", "X......X",
                                       "X.......X", "X........X", "X.....XXXXX", "X..X..X", "X.X X..X", "XX  X..X",
                                       "X    X..X", "     X..X", "      XX"};
  const INT32 h = 17, w = 11;
  DUView* view = nullptr;
  if (DUViewCreate(DURectMake(0, 0, h * scale, w * scale), &view) != EFI_SUCCESS) return nullptr;
  for (INT32 y = 0; y < h * scale; ++y) {
    const char* row = kArrow[y / scale];
    INT32 n = INT32(AsciiStrLen(row));
    for (INT32 x = 0; x < w * scale; ++x) {
      char c = x / scale < n ? row[x / scale] : ' ';
      DUPixel p = c == 'X' ? DUColorMake(0, 0, 0, 0) : c == '.' ? DUColorMake(255, 255, 255, 0) : DUColorMake(0, 0, 0, 255);
      view->pixels[size_t(y) * view->content_size.width + x] = p;
    }
  }
  return view;
}

// The maker's pointer picture: "loginui_cursor" (or "loginui_cursor_2x") of the firmware's
// picture directory.
DUView* FirmwareCursor(LoginUIRecord* ui) {
  void* directory = nullptr;
  UINTN directory_size = 0;
  if (EFI_ERROR(ReadFirmwarePicture(&kPictureDirectoryGuid, &directory, &directory_size))) return nullptr;
  EFI_GUID file{};
  BOOLEAN scaled = FALSE;
  UINT32 scale = ui->hidpi ? 2 : 1;
  EFI_STATUS status = FirmwarePictureDirectoryLookup(ByteSpan(static_cast<const UINT8*>(directory), directory_size),
                                                     "loginui_cursor", scale, &file, &scaled);
  PoolFree(directory);
  void* data = nullptr;
  UINTN size = 0;
  if (EFI_ERROR(status) || EFI_ERROR(ReadFirmwarePicture(&file, &data, &size))) return nullptr;
  DUPixel* pixels = nullptr;
  DUSize picture{};
  UINTN bytes = 0;
  DUView* view = nullptr;
  // A plain picture on a HiDPI screen is doubled; the "_2x" one is taken as it is.
  if (DecodeFirmwarePicture(data, size, &pixels, &picture, &bytes, scaled ? 1 : scale) == 0 &&
      DUViewCreateWithImage(DURectMake(0, 0, picture.height, picture.width), pixels, bytes, &view) != EFI_SUCCESS) {
    view = nullptr;
  }
  PoolFree(data);
  return view;
}

DUView* CreateCursorView(LoginUIRecord* ui) {
  DUView* view = FirmwareCursor(ui);
  return view ? view : DrawnCursor(ui->hidpi ? 2 : 1);
}

EFI_STATUS InitializeGraphics(LoginUIRecord* ui) {
  ui->previous_console_mode = GetConsoleMode();
  EFI_STATUS status = DUInitialize();
  if (EFI_ERROR(status)) {
    DULogError("_lw_InitializeGraphics", "DUInitialize failed: 0x%X\n", UINT32(status));
    return status;
  }
  if (ui->hidpi) DUSetScale(2);
  ui->graphics_initialized = TRUE;
  UINT32 colour = BackgroundColor();
  status = DUScreenCreate(DUPixel(colour & 0x00FFFFFF), &ui->screen);
  if (EFI_ERROR(status)) {
    DULogError("_lw_InitializeGraphics", "failed to create screen 0x%X\n", UINT32(status));
    return status;
  }
  DUView* cursor = CreateCursorView(ui);
  if (!cursor) {
    DULogError("_lw_InitializeGraphics", "failed to create cursor\n");
    return EFI_OUT_OF_RESOURCES;
  }
  ui->cursor_hot_spot = ui->hidpi ? 11 : 4;
  DUViewSetOriginDirect(cursor, DUPoint{ui->screen->size.width / 2, ui->screen->size.height / 2 + kCursorDrop});
  DUViewSetVisible(cursor, FALSE);
  status = DUScreenSetCursorView(ui->screen, cursor);
  if (EFI_ERROR(status)) {
    DULogError("_lw_InitializeGraphics", "failed to set cursor\n");
    DUViewDestroy(cursor);
    return status;
  }
  TarnEventProtocol* events = nullptr;
  if (!EFI_ERROR(ObtainCurrentTarnEventProtocol(&events)) && events) {
    TarnEventHandle handle = nullptr;
    if (!EFI_ERROR(events->RegisterHandler(kTarnEventPointerMoved, CursorMoved, &handle, ui))) {
      ui->cursor_handle = handle;
    }
  }
  return EFI_SUCCESS;
}

void ShowLogo(LoginUIRecord* ui) {
  bool black = (BackgroundColor() & 0x00FFFFFF) == 0;
  ui->show_background = TRUE;
  if (LWCreateLocalizedArchiveAdv(ui->root, u"tarnLogo.efires", &ui->logo_archive, nullptr) != 0) {
    DULogError("FDELoginUIInitializeUsers", "Failed to load tarnLogo.efires\n");
    ui->logo_archive = nullptr;
    return;
  }
  ui->show_background = black;
  ui->logo_view = ArchiveViewCreateWithOptions(ui->logo_archive, black ? "tarnLogo_tarn.png" : "tarnLogo_tarn_gray.png");
  if (!ui->logo_view) return;
  DURect centred{};
  DURectCenterInRect(DUSize{ui->logo_view->frame.height, ui->logo_view->frame.width},
                     DURectMake(0, 0, ui->screen->size.height, ui->screen->size.width), &centred);
  DUViewSetOrigin(ui->logo_view, DUPoint{centred.x, centred.y});
  DUViewSetTransparency(ui->logo_view, 0);
  DUViewSetVisible(ui->logo_view, TRUE);
  DUScreenAddView(ui->screen, ui->logo_view);
  DUScreenDraw(ui->screen);
}

// The background picture, scaled to the screen when its size differs.
void InstallBackground(LoginUIRecord* ui) {
  if (!ui->show_background || !ui->window || !ui->window->loginui_archive) return;
  DUPixel* pixels = nullptr;
  DUSize size{};
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(ui->window->loginui_archive, "loginui_background.png", &pixels, &size, &bytes, TRUE) != 0) {
    return;
  }
  const DUSize screen = ui->screen->size;
  if (size.width != screen.width || size.height != screen.height) {
    UINTN scaled_bytes = UINTN(screen.width) * UINTN(screen.height) * sizeof(DUPixel);
    auto* scaled = static_cast<DUPixel*>(PoolAllocate(scaled_bytes));
    const UINT32 filter = DUResampleFilterChoice();
    DUSetResampleFilter(kDUFilterNearest);
    EFI_STATUS resampled = scaled ? DUResamplePixelBuffer(scaled, pixels, size, screen) : EFI_OUT_OF_RESOURCES;
    DUSetResampleFilter(filter);
    if (EFI_ERROR(resampled)) {
      if (scaled) PoolFree(scaled);
      PoolFree(pixels);
      return;
    }
    PoolFree(pixels);
    pixels = scaled;
    bytes = scaled_bytes;
  }
  DUView* view = nullptr;
  if (DUViewCreateWithImage(DURectMake(0, 0, screen.height, screen.width), pixels, bytes, &view) != EFI_SUCCESS) return;
  ui->background_view = view;
  ui->window->background_shown = TRUE;
}

LoginUserRef* Complete(LoginUIRecord* ui, const LodestoreUser* user, UINT32 type, BOOLEAN logged_in) {
  if (ui->user_count == kLWMaxTiles) return nullptr;
  LoginUserRef* ref = nullptr;
  if (LoginUserRefCreate(user, type, logged_in, &ui->statics, &ref) != 0) return nullptr;
  ui->users[ui->user_count++] = ref;
  return ref;
}

void DidShowRecoveryMessage(LoginWindow*, void* context) {
  auto* ui = static_cast<LoginUIRecord*>(context);
  if (!ui) {
    DULogError("_lw_DidShowBootRecoveryOSMessage", "loginUI is NULL\n");
    return;
  }
  if (ui->callbacks.start_password_recovery) ui->callbacks.start_password_recovery(ui->callbacks.recovery_context);
}

EFI_STATUS InitializeForUsers(LoginUIRecord* ui, UINT32 user_count, LodestoreUser* const* users,
                              LodestoreUser* const* special, UINT32 flags, const LoginUICallbacks* callbacks) {
  if (user_count > kLoginUIMaxUsers) user_count = kLoginUIMaxUsers;
  const LodestoreUser* sorted[kLWMaxTiles] = {};
  for (UINT32 i = 0; i < user_count; ++i) sorted[i] = users[i];
  _LoginUISortUsersAlphabetically(sorted, user_count);
  if (!special) {
    DULogError("FDELoginUIInitializeUsers", "specialUsers argument is NULL\n");
    DULogError("FDELoginUIInitializeUsers", "_LoginUIInitializeForUsers failed err: %d\n", 1);
    return EFI_SUCCESS;
  }
  const LodestoreUser* last_login = special[kSlotLastLogin];
  LoginUserRef* tiles[kLWMaxTiles] = {};
  UINT32 tile_count = 0;
  LoginUserRef* auto_user = nullptr;
  for (UINT32 i = 0; i < user_count; ++i) {
    LoginUserRef* ref = Complete(ui, sorted[i], kLoginUserNormal, sorted[i] == last_login);
    if (!ref) continue;
    tiles[tile_count++] = ref;
    if (sorted[i] == last_login) auto_user = ref;
  }
  LoginUserRef* master = special[kSlotMaster] ? Complete(ui, special[kSlotMaster], kLoginUserMaster, FALSE) : nullptr;
  LoginUserRef* recovery =
      special[kSlotRecoveryKey] ? Complete(ui, special[kSlotRecoveryKey], kLoginUserRecovery, FALSE) : nullptr;
  if (special[kSlotDisk]) {
    if (LoginUserRef* disk = Complete(ui, special[kSlotDisk], kLoginUserDisk, FALSE)) tiles[tile_count++] = disk;
  }
  LoginUserRef* guest = Complete(ui, nullptr, kLoginUserGuest, FALSE);
  if (!callbacks || !callbacks->verify_passphrase) DULogError("FDELoginUIInitializeUsers", "VerifyCallback is NULL\n");
  if (callbacks) ui->callbacks = *callbacks;
  ui->window = static_cast<LoginWindow*>(PoolAllocateZero(sizeof(LoginWindow)));
  if (!ui->window) return EFI_OUT_OF_RESOURCES;
  BOOLEAN show_recovery = !((flags & kLoginFlagRecoveryAllowed) && (flags & kLoginFlagRecoveryPresent));
  if (LoginWindowCreate(ui->window, ui->screen, ui->root, tile_count, tiles, auto_user, master, recovery, guest,
                        (flags & kLoginFlagAlways) != 0, (flags & kLoginFlagHibernate) != 0, show_recovery,
                        _lw_ValidatePassword, DidShowRecoveryMessage, ui) != 0) {
    DULogError("FDELoginUIInitializeUsers", "_LoginUIInitializeForUsers failed err: %d\n", 1);
    return EFI_SUCCESS;
  }
  ui->window_created = TRUE;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS FDELoginUIInitializeUsers(LoginUIRecord** out, EFI_HANDLE image, EFI_SYSTEM_TABLE* system_table,
                                     EFI_FILE_PROTOCOL* root, UINT32 user_count, LodestoreUser* const* users,
                                     LodestoreUser* const* special, UINT32 flags, const LoginUICallbacks* callbacks) {
  if (!out) return EFI_INVALID_PARAMETER;
  *out = nullptr;
  const bool hidpi = LoginUIWantsHiDPI(flags);
  auto* ui = static_cast<LoginUIRecord*>(PoolAllocateZero(sizeof(LoginUIRecord)));
  if (!ui) return EFI_OUT_OF_RESOURCES;
  *out = ui;  // FDELoginUIDestroy undoes whatever was done before a failure
  ui->image = image;
  ui->system_table = system_table;
  ui->root = root;
  ui->hidpi = hidpi;
  ui->statics.root = root;
  gBS->SetWatchdogTimer(0, 0, 0, nullptr);
  if (EFI_ERROR(InstallTarnEventProtocol(image))) {
    DULogError("FDELoginUIInitializeUsers", "Can't install updated TarnEvent protocol\n");
    DULogError("FDELoginUIInitializeUsers", "_LoginUIInitializeGraphics failed err: %d\n", 1);
    return kLoginUIFailed;
  }
  EFI_STATUS status = InitializeGraphics(ui);
  if (EFI_ERROR(status)) {
    DULogError("FDELoginUIInitializeUsers", "Can't initialize graphics mode: 0x%X\n", UINT32(status));
    DULogError("FDELoginUIInitializeUsers", "_LoginUIInitializeGraphics failed err: %d\n", INT32(status));
    return status == EFI_NOT_READY ? EFI_VOLUME_CORRUPTED : status;
  }
  // Without a console control protocol there is no text mode to leave.
  status = SetConsoleMode(kConsoleModeGraphics);
  if (EFI_ERROR(status) && status != EFI_NOT_READY) {
    DULogError("FDELoginUIInitializeUsers", "Can't switch to graphics mode\n");
    return kLoginUIFailed;
  }
  if (user_count == 0 && !(special && special[kSlotDisk])) {
    DULogError("FDELoginUIInitializeUsers",
               "We have no users to show (UserCount is 0) and we have no disk user, we can't do much\n");
    return kLoginUIFailed;
  }
  ShowLogo(ui);
  status = InitializeForUsers(ui, user_count, users, special, flags, callbacks);
  if (EFI_ERROR(status)) return status;
  if (ui->window_created) {
    LoginWindowStartTarnLogoTimer(ui->window);
    InstallBackground(ui);
  }
  return EFI_SUCCESS;
}

EFI_STATUS FDELoginUIRunLoop(LoginUIRecord* ui, LoginUIExitInfo* exit_info) {
  if (!ui || !exit_info) return EFI_INVALID_PARAMETER;
  *exit_info = LoginUIExitInfo{};
  if (!ui->window_created) {
    DULogError("FDELoginUIRunLoop", "LoginWindowRunRunLoop failed!\n");
    return EFI_NOT_READY;
  }
  if (ui->background_view) {
    DUScreenSetBackgroundView(ui->screen, ui->background_view);
    ui->background_view = nullptr;  // the screen owns it now
  }
  DUView* logo = ui->logo_view;
  ui->logo_view = nullptr;  // the window fades it out and frees it
  EFI_STATUS status = LoginWindowRunRunLoop(ui->window, exit_info, logo);
  if (status != EFI_SUCCESS) {
    DULogError("FDELoginUIRunLoop", "LoginWindowRunRunLoop failed!\n");
    return status == 1 ? EFI_ABORTED : status;
  }
  return EFI_SUCCESS;
}

EFI_STATUS FDELoginUIDestroy(LoginUIRecord* ui) {
  if (!ui) return EFI_SUCCESS;
  EFI_STATUS result = EFI_SUCCESS;
  if (ui->window) {
    if (ui->window_created && LoginWindowDestroy(ui->window) != 0) {
      DULogError("FDELoginUIDestroy", "LoginWindowDestroy failed! err: %d\n", 1);
      DULogError("FDELoginUIDestroy", "_LoginUIDestroy failed err: %d\n", 1);
      result = EFI_ABORTED;
    }
    // A window whose canaries broke is not trusted to free its views; the screen does.
    PoolFree(ui->window);
  }
  if (ui->cursor_handle) {
    TarnEventProtocol* events = nullptr;
    if (!EFI_ERROR(ObtainCurrentTarnEventProtocol(&events)) && events) events->UnregisterHandler(ui->cursor_handle);
  }
  if (ui->logo_view) DUViewDestroy(ui->logo_view);
  if (ui->background_view) DUViewDestroy(ui->background_view);
  ArchiveDestroy(ui->logo_archive);
  for (UINT32 i = 0; i < ui->user_count; ++i) LoginUserRefDestroy(ui->users[i]);
  LoginStaticArchivesFree(&ui->statics);
  if (ui->graphics_initialized && ui->previous_console_mode != GetConsoleMode()) {
    EFI_STATUS status = SetConsoleMode(ui->previous_console_mode);
    if (EFI_ERROR(status)) DULogError("FDELoginUIDestroy", "Can't switch to existing mode - err:%d\n", INT32(status));
  }
  if (ui->screen) {
    UIViewAnimationStopScreen(ui->screen);
    EFI_STATUS status = DUScreenDestroy(ui->screen);
    if (EFI_ERROR(status)) DULogError("FDELoginUIDestroy", "Can initialize screen reference - err:%d\n", INT32(status));
  }
  if (ui->graphics_initialized) DUSetScale(1);
  RemoveTarnEventProtocol();
  PoolFree(ui);
  return result;
}

const LoginUI kLoginUIWindow = {FDELoginUIInitializeUsers, FDELoginUIRunLoop, FDELoginUIDestroy};
