// The keyboard-layout flag picker: a button on the login screen showing the current layout
// as a flag. A click opens a Tessel menu of layouts with an "others" submenu; choosing one
// hands the layout's key map to the owner, redraws the button and remembers the choice
// (ui/flag_picker_state.h). Every picture and key map comes from the picker's archive
// ("flag_picker.efires").
//
// The button is an image button (ui/button.h) built from the selected layout's "up" and
// "down" flags; its click opens the menu below it.
#pragma once

#include "ui/archive.h"
#include "ui/flag_picker_state.h"
#include "ui/menu.h"

struct UIFlagPicker;

// The chosen layout's key map (the archive's "NUMBER_PREFIX.uchr"; null and 0 when the
// archive has none).
typedef void (*UIFlagPickerLayoutChanged)(const void* layout, UINT32 length, void* context);

struct UIFlagPickerLayout {
  UIFlagPicker* picker;
  const char* prefix;  // "flag" or "flag_other"
  UINT32 number;
  char state[kFlagStateSize];
};

constexpr UINT32 kFlagPickerMaxLayouts = 1024;

struct UIFlagPicker {
  DUScreen* screen;
  const Archive* archive;
  UINT32 archiveIdentifier;
  TesselMenu* menu;
  TesselMenu* othersMenu;
  TesselMenuResources resources;
  DUView* button;         // a button view (ui/button.h)
  BOOLEAN buttonPressed;  // unused: the button keeps its own pressed state
  DUPixel* buttonImages[2];  // up, down
  DUSize buttonImageSize;
  INT32 buttonState;  // 0 normal, 2 pressed
  UIFlagPickerLayoutChanged layoutChanged;
  void* layoutChangedContext;
  TesselMenuItem* selectedItem;
  BOOLEAN menuOpen;
  UINT32 layoutCount;
  UIFlagPickerLayout* layouts[kFlagPickerMaxLayouts];
};

// Builds both menus and the button at button_origin (added to the screen). 0, or 1 (logged).
UINTN UIFlagPickerCreate(DUScreen* screen, const Archive* archive, DUPoint button_origin,
                         UIFlagPickerLayoutChanged layout_changed, void* context, UIFlagPicker** out_picker);
void UIFlagPickerDestroy(UIFlagPicker* picker);
UINTN UIFlagPickerRestoreState(UIFlagPicker* picker);
UINTN UIFlagPickerRestoreStateFromIAPref(UIFlagPicker* picker);

// The menus' actions (exposed for tests).
void _flagPickerMainAction(TesselMenuItem* item);
void _flagPickerOthersAction(TesselMenuItem* item);
// The item whose layout state is state, searching submenus depth first; null when none.
TesselMenuItem* _FindFlagMenuItemForState(TesselMenu* menu, const char* state);

// The menu resources of an archive (missing ones logged and left empty); freed with
// TesselMenuFreeResources.
void TesselMenuLoadResources(const Archive* archive, TesselMenuResources* resources);
void TesselMenuFreeResources(TesselMenuResources* resources);
