// The window's views: buttons, fields with their frames, the users' carousel or single tile,
// the flag picker, the battery, the message view.
#include "diag/log.h"
#include "draw/display.h"
#include "draw/log_error.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "login/window_internal.h"
#include "memory/memory.h"
#include "ui/archive_button.h"
#include "ui/archive_files.h"
#include "ui/archive_image.h"
#include "ui/carousel.h"
#include "ui/password_field.h"
#include "ui/run_loop.h"
#include "ui/single_tile.h"

namespace {

constexpr UINT32 kGlyphCacheRoom = 192;
constexpr INT32 kTileSpacing = 24;
constexpr INT32 kBlankTileSide = 128;

struct LWGlyph {
  char name[24];
  DUPixel* pixels;
  DUSize size;
};

}  // namespace

struct LWGlyphCache {
  const Archive* archive;
  UINT32 count;
  LWGlyph glyphs[kGlyphCacheRoom];
};

namespace {

// Glyph pictures of the name field, decoded on first use and kept for the window's life.
bool GlyphLookup(void* context, const char* name, UIPicture* picture) {
  auto* cache = static_cast<LWGlyphCache*>(context);
  if (!cache || !cache->archive || AsciiStrLen(name) >= sizeof(LWGlyph::name)) return false;
  for (UINT32 i = 0; i < cache->count; ++i) {
    if (AsciiStrCmp(cache->glyphs[i].name, name) == 0) {
      *picture = UIPicture{cache->glyphs[i].pixels, cache->glyphs[i].size};
      return cache->glyphs[i].pixels != nullptr;
    }
  }
  if (cache->count == kGlyphCacheRoom) return false;
  LWGlyph& glyph = cache->glyphs[cache->count++];
  MemCopy(glyph.name, name, AsciiStrLen(name) + 1);
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(cache->archive, name, &glyph.pixels, &glyph.size, &bytes, FALSE) != 0) {
    glyph.pixels = nullptr;
    return false;
  }
  *picture = UIPicture{glyph.pixels, glyph.size};
  return true;
}

void FreeGlyphs(LWGlyphCache* cache) {
  if (!cache) return;
  for (UINT32 i = 0; i < cache->count; ++i) {
    if (cache->glyphs[i].pixels) PoolFree(cache->glyphs[i].pixels);
  }
  PoolFree(cache);
}

void DeferButton(TarnEventRecord*, void* context, RunLoopFunction function, const char* name) {
  RunLoopExecuteDeferredFunc(function, context, 0, name);
}

EFI_STATUS RestartDeferred(RunLoop*, void* context, UINTN) {
  LWExit(static_cast<LoginWindow*>(context), kLoginExitRestart);
  return EFI_SUCCESS;
}
EFI_STATUS ShutdownDeferred(RunLoop*, void* context, UINTN) {
  LWExit(static_cast<LoginWindow*>(context), kLoginExitShutdown);
  return EFI_SUCCESS;
}
EFI_STATUS ForgotDeferred(RunLoop*, void* context, UINTN) {
  _LW_LoginPane_ForgotPassword(static_cast<LoginWindow*>(context));
  return EFI_SUCCESS;
}
// The go and back buttons do what return and escape do in the current pane.
EFI_STATUS GoDeferred(RunLoop*, void* context, UINTN) {
  auto* lw = static_cast<LoginWindow*>(context);
  KeyboardCenterAction* actions = KeyboardCenterActions(lw->keyboard);
  if (!actions || !actions[kKeyActionReturn]) {
    DULogError("_LW_LoginPane_LoginButtonCallback_deferred", "kactions or kactions->enter is NULL\n");
    return EFI_SUCCESS;
  }
  actions[kKeyActionReturn](lw->keyboard, KeyboardCenterKeyInfo{0, 0x7028});
  return EFI_SUCCESS;
}
EFI_STATUS BackDeferred(RunLoop*, void* context, UINTN) {
  auto* lw = static_cast<LoginWindow*>(context);
  KeyboardCenterAction* actions = KeyboardCenterActions(lw->keyboard);
  if (!actions || !actions[kKeyActionEscape]) {
    DULogError("_LW_LoginPane_BackButtonCallback_deferred", "kactions or kactions->escape is NULL\n");
    return EFI_SUCCESS;
  }
  actions[kKeyActionEscape](lw->keyboard, KeyboardCenterKeyInfo{0, 0x7029});
  return EFI_SUCCESS;
}

void RestartClick(TarnEventRecord* e, void* c) { DeferButton(e, c, RestartDeferred, "_LW_Restart"); }
void ShutdownClick(TarnEventRecord* e, void* c) { DeferButton(e, c, ShutdownDeferred, "_LW_Shutdown"); }
void HintClick(TarnEventRecord* e, void* c) { DeferButton(e, c, ForgotDeferred, "_LW_LoginPane_ForgotPassword"); }
void GoClick(TarnEventRecord* e, void* c) { DeferButton(e, c, GoDeferred, "_LW_LoginPane_LoginButtonCallback_deferred"); }
void BackClick(TarnEventRecord* e, void* c) { DeferButton(e, c, BackDeferred, "_LW_LoginPane_BackButtonCallback_deferred"); }

DUView* Button(LoginWindow* lw, const char* up, const char* down, UIButtonClickCallback click) {
  return ArchiveButtonCreate(lw->loginui_archive, up, up, down, click, lw);
}

UIPicture Picture(LoginWindow* lw, const char* name) {
  DUSize size{};
  DUPixel* pixels = LWOwnedPicture(lw, name, &size);
  return UIPicture{pixels, pixels ? size : DUSize{}};
}

void CreateField(LoginWindow* lw, LWField* out, INT32 width, const char* placeholder, const char* focus,
                 const char* no_focus, const char* label) {
  const INT32 s = INT32(lw->scale);
  UIPasswordFieldPictures pictures{};
  pictures.dot = Picture(lw, "loginui_passdot.png");
  pictures.caps_lock = Picture(lw, "loginui_password_capslock.png");
  pictures.selection = Picture(lw, "loginui_text_selection_color.png");
  pictures.placeholder = Picture(lw, placeholder);
  pictures.glyphs = UIGlyphSource{GlyphLookup, lw->glyphs};
  if (UIPasswordTextFieldCreate(&out->field, DURectMake(0, 0, 17 * s, width), pictures, &lw->layout,
                                lw->background_shown) != 0) {
    DULogError("LoginWindowCreate_AllView", "UIPasswordTextFieldCreate failed (%s)\n", label);
    out->field = nullptr;
  }
  // Over a background picture the field keeps its plain frame when focused.
  out->focus_frame = ArchiveViewCreateWithOptions(lw->loginui_archive, lw->background_shown ? no_focus : focus);
  out->no_focus_frame = ArchiveViewCreateWithOptions(lw->loginui_archive, no_focus);
  if (out->field) UIPasswordTextFieldSetTextChangedCallback(out->field, LWTextChanged, lw);
}

void TileBuffers(LoginWindow* lw, LoginUserRef* user, DUSize tile, UICarouselTileBuffers* out) {
  static const UINT32 kSlots[kUICarouselTileBufferSlots] = {0, kLoginPictureAvatar, kLoginPictureAvatarPressed,
                                                             kLoginPictureAvatarSelected,
                                                             kLoginPictureAvatarSelectedPressed,
                                                             kLoginPictureAvatarSelected,
                                                             kLoginPictureAvatarSelectedPressed};
  (*out)[0] = nullptr;
  for (UINT32 i = 1; i < kUICarouselTileBufferSlots; ++i) {
    const LoginPicture* picture = LoginUserPicture(user, kSlots[i]);
    // The carousel reads every tile at the tiles' size; a picture of another size is not used.
    bool fits = picture && picture->size.width == tile.width && picture->size.height == tile.height;
    (*out)[i] = fits ? picture->pixels : lw->blank_tile;
  }
}

EFI_STATUS DidSelectDeferred(RunLoop*, void* context, UINTN) {
  auto* lw = static_cast<LoginWindow*>(context);
  if (!lw->carousel) {
    DULogError("_LW_UsersPane_UsersCarouselViewClickCallback_deferred", "lw->usersCarouselView is NULL\n");
    return EFI_SUCCESS;
  }
  INT32 index = UICarouselViewSelectedIndex(lw->carousel);
  if (index < 0 || UINT32(index) >= lw->tile_count) {
    DULogError("_LW_UsersPane_UsersCarouselViewClickCallback_deferred", "No user was selected in table view\n");
    return EFI_SUCCESS;
  }
  _LW_UsersPane_GoTo_LoginPane(lw, lw->tiles[index]);
  return EFI_SUCCESS;
}

void CarouselDidSelect(DUView*, void* context) {
  RunLoopExecuteDeferredFunc(DidSelectDeferred, context, 0, "_LW_UsersPane_UsersCarouselViewClickCallback_deferred");
}

void CarouselMidpoint(DUView*, void* context) {
  // _LW_BeginPasswordViewFadeCallback: the password views appear while the tile settles.
  auto* lw = static_cast<LoginWindow*>(context);
  if (lw->password.no_focus_frame) DUViewSetVisible(lw->password.no_focus_frame, TRUE);
}

void SingleTileClick(void* context, void*) {
  auto* lw = static_cast<LoginWindow*>(context);
  if (lw->password.field) LWSetFieldFocus(lw, &lw->password);
}

EFI_STATUS CreateUsersView(LoginWindow* lw) {
  const INT32 s = INT32(lw->scale);
  if (lw->tile_count == 0) {
    DULogError("LoginWindowCreate_AllView", " numberOfUsers == 0 \n");
    return EFI_SUCCESS;
  }
  DUSize tile{kBlankTileSide * s, kBlankTileSide * s};
  if (const LoginPicture* first = LoginUserPicture(lw->tiles[0], kLoginPictureAvatar)) tile = first->size;
  UINTN blank_bytes = UINTN(tile.width) * UINTN(tile.height) * sizeof(DUPixel);
  lw->blank_tile = static_cast<DUPixel*>(PoolAllocate(blank_bytes));
  if (!lw->blank_tile) return EFI_OUT_OF_RESOURCES;
  for (UINTN i = 0; i < blank_bytes / sizeof(DUPixel); ++i) lw->blank_tile[i] = DUColorMake(0, 0, 0, 255);
  if (lw->tile_count == 1) {
    UISingleTileInfo info{};
    LoginUserRef* user = lw->tiles[0];
    UICarouselTileBuffers buffers;
    TileBuffers(lw, user, tile, &buffers);
    info.images[kUITileImageNormal] = buffers[kUICarouselTileNormal];
    info.images[kUITileImageSelected] = buffers[kUICarouselTileSelected];
    info.images[kUITileImageSelectedPressed] = buffers[kUICarouselTileSelectedPressed];
    info.size = tile;
    info.mode = kUISingleTileModeSelected;
    info.click = SingleTileClick;
    info.context = lw;
    if (UISingleTileViewCreate(&lw->single_tile, info) != 0) lw->single_tile = nullptr;
    return EFI_SUCCESS;
  }
  auto* tiles = static_cast<UICarouselTileBuffers*>(PoolAllocateZero(lw->tile_count * sizeof(UICarouselTileBuffers)));
  if (!tiles) return EFI_OUT_OF_RESOURCES;
  lw->carousel_tiles = tiles;
  for (UINT32 i = 0; i < lw->tile_count; ++i) TileBuffers(lw, lw->tiles[i], tile, &tiles[i]);
  UICarouselTilesInfo info{};
  info.tileCount = INT32(lw->tile_count);
  info.tiles = tiles;
  info.tileHeight = tile.height;
  info.tileWidth = tile.width;
  info.spacing = kTileSpacing * s;
  INT32 room = (lw->screen->size.width - 200 * s) / (tile.width + info.spacing) - 1;
  info.visibleCount = room < 1 ? 1 : (room > INT32(lw->tile_count) ? INT32(lw->tile_count) : room);
  info.goNextUpImage = LWOwnedPicture(lw, "loginui_next.png", &info.goNextImageSize);
  info.goNextDownImage = LWOwnedPicture(lw, "loginui_nextPressed.png", &info.goNextImageSize);
  info.goPrevUpImage = LWOwnedPicture(lw, "loginui_previous.png", &info.goPrevImageSize);
  info.goPrevDownImage = LWOwnedPicture(lw, "loginui_previousPressed.png", &info.goPrevImageSize);
  info.didSelect = CarouselDidSelect;
  info.didSelectContext = lw;
  info.midpoint = CarouselMidpoint;
  info.midpointContext = lw;
  UICarouselMagicPockets pockets{};
  pockets.leftImage = LWOwnedPicture(lw, "loginui_magicPocketShadow_left.png", &pockets.leftSize);
  pockets.rightImage = LWOwnedPicture(lw, "loginui_magicPocketShadow_right.png", &pockets.rightSize);
  if (UICarouselViewCreate(&lw->carousel, &info, &pockets) != 0) {
    DULogError("LoginWindowCreate_AllView", "UICarouselViewCreate(lw->usersCarouselView... failed\n");
    lw->carousel = nullptr;
  }
  return EFI_SUCCESS;
}

void FlagLayoutChanged(const void* layout, UINT32 length, void* context) {
  auto* lw = static_cast<LoginWindow*>(context);
  if (!layout || !length) return;
  // _LW_FlagPickerLayoutDidChange: every field types with the new map.
  lw->layout = EFIKeyLayout{static_cast<const UINT8*>(layout), length};
  DUView* fields[] = {lw->name.field, lw->password.field, lw->recovery_key.field, lw->type_select_field};
  for (UINT32 i = 0; i < 4; ++i) {
    if (fields[i] && UIPasswordSetKeyboardLayout(fields[i], &lw->layout) != 0) {
      DULogError("_LW_FlagPickerLayoutDidChange", "UIPasswordSetKeyboardLayout failed for i:%d field:%p\n", i,
                 fields[i]);
    }
  }
  _LW_PositionUIElements(lw);
}

void AddView(LoginWindow* lw, DUView* view, UINT32 index, EFI_STATUS* last) {
  if (!view || view->screen) return;
  EFI_STATUS status = DUScreenAddView(lw->screen, view);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "ERROR: %s DUScreenAddView( %d ) failed: 0x%X\n", "_LW_AddViewsToScreen", index,
               UINT32(status));
    *last = status;
  }
}

}  // namespace

DUPixel* LWOwnedPicture(LoginWindow* lw, const char* name, DUSize* size) {
  if (!lw->loginui_archive || lw->owned_count == sizeof(lw->owned) / sizeof(lw->owned[0])) return nullptr;
  DUPixel* pixels = nullptr;
  DUSize picture_size{};
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(lw->loginui_archive, name, &pixels, &picture_size, &bytes, TRUE) != 0) return nullptr;
  lw->owned[lw->owned_count++] = pixels;
  if (size) *size = picture_size;
  return pixels;
}

void LWFieldSetVisible(LWField* field, BOOLEAN visible) {
  if (field->field) DUViewSetVisible(field->field, visible);
  if (field->no_focus_frame) DUViewSetVisible(field->no_focus_frame, visible);
  if (field->focus_frame) DUViewSetVisible(field->focus_frame, visible && UIPasswordTextFieldIsFocused(field->field));
}

EFI_STATUS LoginWindowCreate_AllView(LoginWindow* lw) {
  const INT32 s = INT32(lw->scale);
  const CHAR16* font = lw->background_shown ? u"Lucida13White.efires" : u"Lucida13.efires";
  if (LWCreateLocalizedArchiveAdv(lw->root, font, &lw->font_archive, nullptr) != 0) {
    DULogError("LoginWindowCreate_AllView", lw->background_shown ? "Impossible to load Lucida13White.efires\n"
                                                                 : "Impossible to load Lucida13.efires\n");
    lw->font_archive = nullptr;
  }
  lw->glyphs = static_cast<LWGlyphCache*>(PoolAllocateZero(sizeof(LWGlyphCache)));
  if (lw->glyphs) lw->glyphs->archive = lw->font_archive;
  lw->shutdown_button = Button(lw, "loginui_shutdown_up.png", "loginui_shutdown_down.png", ShutdownClick);
  lw->restart_button = Button(lw, "loginui_restart_up.png", "loginui_restart_down.png", RestartClick);
  lw->hint_button = Button(lw, "loginui_password_hint_up.png", "loginui_password_hint_down.png", HintClick);
  lw->go_button = Button(lw, "loginui_goButton.png", "loginui_goButtonPressed.png", GoClick);
  lw->back_button = Button(lw, "loginui_goBackButton.png", "loginui_goBackButtonPressed.png", BackClick);
  const void* layout = nullptr;
  UINT32 layout_length = 0;
  if (ArchiveGetData(lw->loginui_archive, "loginui_keyboard_layout.uchr", FALSE, &layout, &layout_length, TRUE) != 0) {
    DULogError("LoginWindowCreate_AllView", "ArchiveGetData(loginui_keyboard_layout.uchr) failed!\n");
  } else {
    lw->layout = EFIKeyLayout{static_cast<const UINT8*>(layout), layout_length};
  }
  CreateField(lw, &lw->name, 145 * s, "loginui_name_field_placeholder.png", "loginui_name_field_focus.png",
              "loginui_name_field.png", "name");
  if (lw->name.field) UIPasswordTextFieldSetShowGlyphs(lw->name.field, TRUE);
  CreateField(lw, &lw->password, s > 1 ? 290 : 124, "loginui_password_field_placeholder.png",
              "loginui_password_field_focus.png", "loginui_password_field.png", "password");
  INT32 recovery_width = 300 * s;
  if (DUView* frame = ArchiveViewCreateWithOptions(lw->loginui_archive, "loginui_recovery_field.png")) {
    recovery_width = frame->frame.width - 16 * s;
    DUViewDestroy(frame);
  }
  CreateField(lw, &lw->recovery_key, recovery_width, "loginui_recovery_field_placeholder.png",
              "loginui_recovery_field_focus.png", "loginui_recovery_field.png", "recovery key");
  if (lw->recovery_key.field) UIPasswordTextFieldSetRecoveryKeyFormat(lw->recovery_key.field, TRUE);
  if (LWCreateLocalizedArchiveAdv(lw->root, u"flag_picker.efires", &lw->flag_picker_archive, nullptr) != 0) {
    DULogError("LoginWindowCreate_AllView", "Impossible to load flag_picker.efires\n");
    lw->flag_picker_archive = nullptr;
  }
  EFI_STATUS status = CreateUsersView(lw);
  if (EFI_ERROR(status)) return status;
  if (LWCreateLocalizedArchiveAdv(lw->root, u"battery.efires", &lw->battery_archive, nullptr) != 0) {
    DULogError("LoginWindowCreate_AllView", "Impossible to load battery.efires Archive\n");
    lw->battery_archive = nullptr;
  }
  if (lw->preferences) {
    lw->message_view = SystemPreferencesCreateMessageRibbonView(lw->preferences);
  }
  return EFI_SUCCESS;
}

EFI_STATUS _LW_AddViewsToScreen(LoginWindow* lw) {
  EFI_STATUS last = EFI_SUCCESS;
  DUView* views[] = {lw->carousel,
                     lw->single_tile,
                     lw->restart_button,
                     lw->shutdown_button,
                     lw->name.no_focus_frame,
                     lw->name.focus_frame,
                     lw->name.field,
                     lw->password.no_focus_frame,
                     lw->password.focus_frame,
                     lw->password.field,
                     lw->recovery_key.no_focus_frame,
                     lw->recovery_key.focus_frame,
                     lw->recovery_key.field,
                     lw->go_button,
                     lw->back_button,
                     lw->hint_button};
  for (UINT32 i = 0; i < sizeof(views) / sizeof(views[0]); ++i) AddView(lw, views[i], i, &last);
  if (lw->flag_picker_archive) {
    if (UIFlagPickerCreate(lw->screen, lw->flag_picker_archive, DUPoint{0, 2}, FlagLayoutChanged, lw,
                           &lw->flag_picker) != 0) {
      DULogError("LoginWindowCreate_AllView", "UIFlagPickerButtonCreate failed\n");
      lw->flag_picker = nullptr;
    } else {
      UIFlagPickerRestoreState(lw->flag_picker);
      if (lw->flag_picker->button && lw->preferences &&
          !SystemPreferencesIsInputMenuEnabled(lw->preferences)) {
        DUViewSetVisible(lw->flag_picker->button, FALSE);
      }
    }
  } else {
    DULogError("LoginWindowCreate_AllView", "lw->flagPickerArchive is NULL\n");
  }
  if (lw->battery_archive) {
    lw->battery_monitor = UIBatteryMonitorCreate(&lw->battery_view, lw->screen, lw->battery_archive, nullptr, nullptr);
  }
  if (lw->carousel) UICarouselViewRegisterForEvents(lw->carousel);
  if (lw->single_tile) UISingleTileViewRegisterForEvents(lw->single_tile);
  if (EFI_ERROR(last)) DULogError("LoginWindowRunRunLoop", "_LW_AddViewsToScreen() failed err:%d\n", INT32(last));
  return last;
}

void LWDestroyAllViews(LoginWindow* lw) {
  if (lw->battery_monitor) UIBatteryMonitorDestroy(lw->battery_monitor);
  lw->battery_monitor = nullptr;
  if (lw->flag_picker) UIFlagPickerDestroy(lw->flag_picker);
  lw->flag_picker = nullptr;
  LWRemoveHintView(lw);
  DUView** views[] = {&lw->carousel,          &lw->single_tile,           &lw->restart_button,
                      &lw->shutdown_button,   &lw->name.no_focus_frame,   &lw->name.focus_frame,
                      &lw->name.field,        &lw->password.no_focus_frame, &lw->password.focus_frame,
                      &lw->password.field,    &lw->recovery_key.no_focus_frame, &lw->recovery_key.focus_frame,
                      &lw->recovery_key.field, &lw->go_button,            &lw->back_button,
                      &lw->hint_button,       &lw->type_select_field,     &lw->battery_view,
                      &lw->message_view,      &lw->progress_bar,          &lw->guide_view};
  for (UINT32 i = 0; i < sizeof(views) / sizeof(views[0]); ++i) {
    DUView* view = *views[i];
    if (!view) continue;
    EFI_STATUS status = view->screen ? DUScreenRemoveView(view->screen, view) : DUViewDestroy(view);
    if (EFI_ERROR(status)) DULogError("LoginWindowDestroy", "DUViewDestroy failed for view_i:%d\n", i);
    *views[i] = nullptr;
  }
  for (UINT32 i = 0; i < lw->owned_count; ++i) PoolFree(lw->owned[i]);
  lw->owned_count = 0;
  if (lw->carousel_tiles) PoolFree(lw->carousel_tiles);
  lw->carousel_tiles = nullptr;
  if (lw->blank_tile) PoolFree(lw->blank_tile);
  lw->blank_tile = nullptr;
  FreeGlyphs(lw->glyphs);
  lw->glyphs = nullptr;
  ArchiveDestroy(lw->font_archive);
  lw->font_archive = nullptr;
  ArchiveDestroy(lw->flag_picker_archive);
  lw->flag_picker_archive = nullptr;
  ArchiveDestroy(lw->battery_archive);
  lw->battery_archive = nullptr;
}
