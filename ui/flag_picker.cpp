// The flag picker: its menus, its button and the choice of a layout.
#include "ui/flag_picker.h"

#include "draw/log_error.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "output/ascii_format.h"
#include "ui/archive_image.h"
#include "ui/button.h"
#include "ui/responders.h"
#include "ui/run_loop.h"

namespace {

constexpr const char* kMainPrefix = "flag";
constexpr const char* kOthersPrefix = "flag_other";

bool LoadPicture(const Archive* archive, const char* name, TesselMenuPicture* out) {
  UINTN bytes = 0;
  if (ArchiveCopyPNGImage(archive, name, &out->pixels, &out->size, &bytes, FALSE) == 0) return true;
  *out = TesselMenuPicture{};
  return false;
}

UIFlagPickerLayout* NewLayout(UIFlagPicker* picker, const char* prefix, UINT32 number) {
  if (picker->layoutCount >= kFlagPickerMaxLayouts) return nullptr;
  auto* layout = static_cast<UIFlagPickerLayout*>(PoolAllocateZero(sizeof(UIFlagPickerLayout)));
  if (!layout) return nullptr;
  layout->picker = picker;
  layout->prefix = prefix;
  layout->number = number;
  if (FlagPickerStateString(number, prefix, layout->state) != 0) {
    PoolFree(layout);
    return nullptr;
  }
  picker->layouts[picker->layoutCount++] = layout;
  return layout;
}

// One item per picture pair "NUMBER_PREFIX_menu_item.png" / "..._sel.png", NUMBER from 0
// until the first pair that is missing.
TesselMenu* _CreateMenuWithWithIdentifier(UIFlagPicker* picker, const char* prefix, TesselMenuAction action) {
  TesselMenu* menu = TesselMenuCreate(picker->screen, &picker->resources);
  if (!menu) return nullptr;
  for (UINT32 d = 0; d < 512; ++d) {
    char name[96], selected_name[96];
    AsciiSNPrint(name, sizeof(name), "%d_%s_menu_item.png", d, prefix);
    AsciiSNPrint(selected_name, sizeof(selected_name), "%d_%s_menu_item_sel.png", d, prefix);
    TesselMenuPicture image{}, selected{};
    if (!LoadPicture(picker->archive, name, &image)) {
      DULogError("_CreateMenuWithWithIdentifier", "no image for file: %s", name);
      break;
    }
    if (!LoadPicture(picker->archive, selected_name, &selected)) {
      PoolFree(image.pixels);
      DULogError("_CreateMenuWithWithIdentifier", "no selected image for file: %s", selected_name);
      break;
    }
    UIFlagPickerLayout* layout = NewLayout(picker, prefix, d);
    if (!layout || !TesselMenuAddItem(menu, image.pixels, selected.pixels, image.size, action, layout, FALSE)) {
      if (!layout) {
        PoolFree(image.pixels);
        PoolFree(selected.pixels);
      }
      break;
    }
  }
  return menu;
}

DUPixel* CopyPixels(const DUPixel* pixels, DUSize size) {
  if (!pixels) return nullptr;
  UINTN bytes = UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel);
  auto* copy = static_cast<DUPixel*>(PoolAllocate(bytes ? bytes : 1));
  if (copy) MemCopy(copy, pixels, bytes);
  return copy;
}

void FreeButtonImages(UIFlagPicker* picker) {
  for (DUPixel*& image : picker->buttonImages) {
    PoolFree(image);
    image = nullptr;
  }
}

EFI_STATUS ButtonClickedDeferred(RunLoop*, void* context, UINTN) {
  auto* picker = static_cast<UIFlagPicker*>(context);
  if (!picker->button || picker->menuOpen) return 0;
  picker->menuOpen = TRUE;
  const DURect& f = picker->button->frame;
  if (TesselMenuShowAtPoint(picker->menu, DUPoint{f.x, f.y + f.height + 5}) != 0) {
    picker->menuOpen = FALSE;
    DULogError("_flagButtonMouseDown_deferred", "TesselMenuShowAtPoint failed");
    return 1;
  }
  return 0;
}

void ButtonClicked(TarnEventRecord*, void* context) {
  // The menu opens from the run loop, after the button has finished with the event.
  (void)RunLoopExecuteDeferredFunc(ButtonClickedDeferred, context, 0, "_flagButtonMouseDown_deferred");  // logged there
}

// The button pictures "NUMBER_PREFIX_button_up.png" and "..._down.png" of the selected item.
UINTN LoadButtonImages(UIFlagPicker* picker) {
  if (!picker->selectedItem) {
    DULogError("_flagButtonSetState", "buttonSelectedMenuItem is NULL");
    return 1;
  }
  auto* layout = static_cast<UIFlagPickerLayout*>(picker->selectedItem->context);
  if (!layout) {
    DULogError("_flagButtonSetState", "menuItemContext is NULL");
    return 1;
  }
  FreeButtonImages(picker);
  const char* states[2] = {"up", "down"};
  for (int i = 0; i < 2; ++i) {
    char name[96];
    AsciiSNPrint(name, sizeof(name), "%d_%s_button_%s.png", layout->number, layout->prefix, states[i]);
    TesselMenuPicture picture{};
    if (!LoadPicture(picker->archive, name, &picture) ||
        (i == 1 && (picture.size.width != picker->buttonImageSize.width ||
                    picture.size.height != picker->buttonImageSize.height))) {
      PoolFree(picture.pixels);
      FreeButtonImages(picker);
      DULogError("_flagButtonSetState", "no image for file: %s", name);
      return 1;
    }
    picker->buttonImages[i] = picture.pixels;
    if (i == 0) picker->buttonImageSize = picture.size;
  }
  return 0;
}

// Shows the button in state 0 (normal) or 2 (pressed).
void _flagButtonSetState(UIFlagPicker* picker, INT32 state) {
  if (state == 1) {
    DULogError("_flagButtonSetState", "Unsupported state, 1 was the roll over state, which is not used anymore now");
    return;
  }
  if (state != 0 && state != 2) {
    DULogError("_flagButtonSetState", "Unknown flag button state");
    return;
  }
  picker->buttonState = state;
  if (picker->button) (void)UIButtonSetState(picker->button, state == 2 ? kUIButtonStatePressed : kUIButtonStateNormal);
}

// An image button whose normal and on pictures are the "up" flag, its pressed one the "down".
UINTN CreateButton(UIFlagPicker* picker, DUPoint origin) {
  if (LoadButtonImages(picker) != 0) return 1;
  DUSize size = picker->buttonImageSize;
  const DUPixel* up = picker->buttonImages[0];
  const DUPixel* down = picker->buttonImages[1];
  DUView* view = nullptr;
  EFI_STATUS status =
      UIButtonCreateWithImageBuffers(&view, up, up, down, size, DURectMake(origin.x, origin.y, size.height, size.width));
  if (status != EFI_SUCCESS) {
    DULogError("_flagButtonCreateWithBuffer", "UIButtonCreateWithImageBuffers failed with err: %d", INT32(status));
    return 1;
  }
  (void)UIButtonSetClickCallback(view, ButtonClicked, picker);  // a fresh button
  status = DUScreenAddView(picker->screen, view);  // registers the button for events
  if (status != EFI_SUCCESS) {
    (void)DUViewDestroy(view);  // not on the screen
    DULogError("_flagButtonCreateWithBuffer", "DUScreenAddView failed with err: %d", INT32(status));
    return 1;
  }
  picker->button = view;
  _flagButtonSetState(picker, 0);
  return 0;
}

void LoadLayout(UIFlagPicker* picker, const UIFlagPickerLayout* layout) {
  char name[96];
  AsciiSNPrint(name, sizeof(name), "%d_%s.uchr", layout->number, layout->prefix);
  const void* data = nullptr;
  UINT32 length = 0;
  if (ArchiveGetData(picker->archive, name, FALSE, &data, &length, FALSE) != kArchiveOk) {
    DULogError("_keyboardLayoutWithWithMenuItem", "Impossible to find keyboard layout with name %s", name);
    data = nullptr;
    length = 0;
  }
  if (picker->layoutChanged) picker->layoutChanged(data, length, picker->layoutChangedContext);
}

// The chosen item becomes the button (centred where the old one was), its key map is handed
// on, and the choice is remembered.
void SetUpButtonWithItem(UIFlagPicker* picker, TesselMenuItem* item) {
  auto* layout = static_cast<UIFlagPickerLayout*>(item->context);
  if (!layout) {
    DULogError("_setUpPopUpButtonWithMenuItem", "item->context is NULL");
    return;
  }
  picker->selectedItem = item;
  DUPoint origin{0, 0};
  INT32 centre_x = 0;
  if (!picker->button) {
    DULogError("_setUpPopUpButtonWithMenuItem", "oldButton is NULL");
  } else {
    origin = DUPoint{picker->button->frame.x, picker->button->frame.y};
    centre_x = picker->button->frame.x + picker->button->frame.width / 2;
    (void)UIButtonUnregister(picker->button);  // a button of ours
    (void)DUViewSetVisible(picker->button, FALSE);
    (void)DUScreenDraw(picker->screen);  // a failed transfer shows up in the next one
    (void)DUScreenRemoveView(picker->screen, picker->button);
    picker->button = nullptr;
  }
  if (LoadButtonImages(picker) == 0) {
    if (centre_x) origin.x = centre_x - picker->buttonImageSize.width / 2;
    FreeButtonImages(picker);
    if (CreateButton(picker, origin) != 0) DULogError("_setUpPopUpButtonWithMenuItem", "no new flag button was created");
  }
  LoadLayout(picker, layout);
  (void)FlagPickerSaveState(layout->state, picker->archiveIdentifier);  // logged inside; the choice still holds now
}

void CheckOnly(TesselMenu* menu, TesselMenuItem* item) {
  for (INT32 i = 0; i < menu->itemCount; ++i) menu->items[i]->checked = menu->items[i] == item;
}

void MenuClosed(TesselMenu*, void* context) { static_cast<UIFlagPicker*>(context)->menuOpen = FALSE; }

}  // namespace

void _flagPickerMainAction(TesselMenuItem* item) {
  auto* layout = static_cast<UIFlagPickerLayout*>(item->context);
  if (!layout) return;
  CheckOnly(layout->picker->menu, item);
  SetUpButtonWithItem(layout->picker, item);
}

void _flagPickerOthersAction(TesselMenuItem* item) {
  auto* layout = static_cast<UIFlagPickerLayout*>(item->context);
  if (!layout) return;
  UIFlagPicker* picker = layout->picker;
  TesselMenu* main = picker->menu;
  TesselMenuItem* chosen = nullptr;
  for (INT32 i = 0; i < main->itemCount && !chosen; ++i) {
    if (main->items[i]->context == layout) chosen = main->items[i];
  }
  if (!chosen) {
    chosen = TesselMenuAddItem(main, CopyPixels(item->image, item->size), CopyPixels(item->selectedImage, item->size),
                               item->size, _flagPickerMainAction, layout, TRUE);
    if (!chosen) return;
  }
  CheckOnly(main, chosen);
  SetUpButtonWithItem(picker, chosen);
}

TesselMenuItem* _FindFlagMenuItemForState(TesselMenu* menu, const char* state) {
  if (!menu) {
    DULogError("_FindFlagMenuItemForState", "menu is NULL - state: %s", state ? state : "");
    return nullptr;
  }
  if (!state) {
    DULogError("_FindFlagMenuItemForState", "stateString is NULL");
    return nullptr;
  }
  for (INT32 i = 0; i < menu->itemCount; ++i) {
    TesselMenuItem* item = menu->items[i];
    if (!item) {
      DULogError("_FindFlagMenuItemForState", "item_i:%d is NULL", i);
      continue;
    }
    auto* layout = static_cast<UIFlagPickerLayout*>(item->context);
    if (layout && !item->separator && MemCompare(layout->state, state, kFlagStateSize) == 0) return item;
    if (item->submenu) {
      if (TesselMenuItem* found = _FindFlagMenuItemForState(item->submenu, state)) return found;
    }
  }
  return nullptr;
}

UINTN UIFlagPickerCreate(DUScreen* screen, const Archive* archive, DUPoint button_origin,
                         UIFlagPickerLayoutChanged layout_changed, void* context, UIFlagPicker** out_picker) {
  if (!out_picker || !screen || !archive) {
    DULogError("UIFlagPickerCreate", "invalid argument");
    return 1;
  }
  *out_picker = nullptr;
  auto* picker = static_cast<UIFlagPicker*>(PoolAllocateZero(sizeof(UIFlagPicker)));
  if (!picker) return 1;
  picker->screen = screen;
  picker->archive = archive;
  picker->layoutChanged = layout_changed;
  picker->layoutChangedContext = context;
  TesselMenuLoadResources(archive, &picker->resources);
  picker->menu = _CreateMenuWithWithIdentifier(picker, kMainPrefix, _flagPickerMainAction);
  picker->othersMenu = _CreateMenuWithWithIdentifier(picker, kOthersPrefix, _flagPickerOthersAction);
  if (!picker->menu || !picker->othersMenu) {
    UIFlagPickerDestroy(picker);
    return 1;
  }
  TesselMenuSetCloseCallback(picker->menu, MenuClosed, picker);
  TesselMenuPicture base{}, divider{};
  if (LoadPicture(archive, "tesselmenu_base_selection.png", &base) &&
      LoadPicture(archive, "tesselmenu_divider_selection.png", &divider)) {
    TesselMenuItem* separator = TesselMenuAddItem(picker->menu, divider.pixels, base.pixels, divider.size, nullptr,
                                                  nullptr, FALSE);
    if (separator) separator->separator = TRUE;
  } else {
    PoolFree(base.pixels);
    DULogError("_CreateMainFlagMenu", "Impossible to find 'tesselmenu_divider_selection.png' file");
  }
  TesselMenuPicture others{}, others_selected{};
  bool have_others = LoadPicture(archive, "flag_others_submenu_item.png", &others);
  if (!have_others) DULogError("_CreateMainFlagMenu", "Impossible to find 'other_input.png' file");
  if (have_others && !LoadPicture(archive, "flag_others_submenu_item_sel.png", &others_selected)) {
    DULogError("_CreateMainFlagMenu", "Impossible to find 'other_input_sel.png' file");
  }
  if (have_others) {
    TesselMenuItem* item =
        TesselMenuAddItem(picker->menu, others.pixels, others_selected.pixels, others.size, nullptr, nullptr, FALSE);
    if (item) item->submenu = picker->othersMenu;
  }
  const void* identifier = nullptr;
  UINT32 length = 0;
  if (ArchiveGetData(archive, "flag_picker_indetifier.int32", FALSE, &identifier, &length, FALSE) == kArchiveOk &&
      length == 4) {
    picker->archiveIdentifier = LoadLe32(identifier);
  } else {
    DULogError("UIFlagPickerCreate", "Impossible to find valid flag picker indetifier");
    picker->archiveIdentifier = kFlagPickerDefaultArchiveIdentifier;
  }
  TesselMenuItem* first = picker->menu->itemCount > 0 && picker->menu->items[0]->context ? picker->menu->items[0] : nullptr;
  if (!first) {
    DULogError("UIFlagPickerCreate", "TesselMenuItemAtIndex(result->menu, 0) returned NULL");
    UIFlagPickerDestroy(picker);
    return 1;
  }
  picker->selectedItem = first;
  first->checked = TRUE;
  LoadLayout(picker, static_cast<UIFlagPickerLayout*>(first->context));
  if (CreateButton(picker, button_origin) != 0) {
    UIFlagPickerDestroy(picker);
    return 1;
  }
  *out_picker = picker;
  return 0;
}

void UIFlagPickerDestroy(UIFlagPicker* picker) {
  if (!picker) {
    DULogError("UIFlagPickerDestroy", "flagPicker is NULL");
    return;
  }
  if (picker->menu && picker->menu->tableView) tesselMenu_unregisterForEvents(picker->menu, FALSE);
  if (picker->button) (void)DUScreenRemoveView(picker->screen, picker->button);  // ours, on this screen
  TesselMenuDestroy(picker->othersMenu);
  TesselMenuDestroy(picker->menu);
  FreeButtonImages(picker);
  TesselMenuFreeResources(&picker->resources);
  for (UINT32 i = 0; i < picker->layoutCount; ++i) PoolFree(picker->layouts[i]);
  PoolFree(picker);
}

UINTN UIFlagPickerRestoreState(UIFlagPicker* picker) {
  if (!picker) return 1;
  char state[kFlagStateSize + 1];
  if (FlagPickerStoredState(picker->archiveIdentifier, state) != 0) return 1;  // logged inside
  TesselMenuItem* item = _FindFlagMenuItemForState(picker->menu, state);
  if (!item || !item->action) return 1;
  item->action(item);
  return 0;
}

UINTN UIFlagPickerRestoreStateFromIAPref(UIFlagPicker* picker) {
  if (!picker) return 1;
  char state[kFlagStateSize + 1] = {};
  if (FlagPickerStateFromPreference(state) != 0) return 1;  // logged inside
  TesselMenuItem* item = _FindFlagMenuItemForState(picker->menu, state);
  if (!item || !item->action) {
    DULogError("UIFlagPickerRestoreStateFromIAPref", "No state found for IA Pref");
    return 1;
  }
  item->action(item);
  return 0;
}
