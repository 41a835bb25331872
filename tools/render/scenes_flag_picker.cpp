// Render scenes of the flag picker and its Tessel menus, from the flag_picker.efires the build
// makes: scripts open the menu, a submenu, scroll the long "others" list and choose layouts.
#include "draw/display.h"
#include "tools/render/render_scene.h"
#include "ui/flag_picker.h"

namespace {

INT32 S() { return INT32(DUScaleFactor()); }

bool FlagPicker(RenderStage& stage) {
  const Archive* archive = stage.OpenArchive("flag_picker");
  if (!archive) return false;
  UIFlagPicker* picker = nullptr;
  if (UIFlagPickerCreate(stage.screen, archive, DUPoint{16 * S(), 16 * S()}, nullptr, nullptr, &picker) != 0) {
    return false;
  }
  stage.cleanup.push_back([picker] { UIFlagPickerDestroy(picker); });
  return true;
}

// The button is 32x23 at (16, 16); the menu opens 5 below it, rows of 20: the five main
// layouts, the separator, "Others". Its submenu of thirty opens right of the "Others" row,
// taller than this screen, and scrolls.
HEARTH_RENDER_SCENE(flag_picker_scene, "flag-picker", "the keyboard-layout flag picker on a 480x360 screen", 480, 360,
                    FlagPicker);

}  // namespace
