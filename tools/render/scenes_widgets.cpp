// Render scenes of the widgets: a button, a table (with a scroll indicator), a popover, a tile,
// a view animation and the battery.
#include <cstdio>
#include <vector>

#include "draw/display.h"
#include "memory/memory.h"
#include "testfw/memory_smc.h"
#include "tools/render/render_scene.h"
#include "ui/archive_button.h"
#include "ui/archive_image.h"
#include "ui/battery.h"
#include "ui/button.h"
#include "ui/popover.h"
#include "ui/scroll_indicator.h"
#include "ui/single_tile.h"
#include "ui/table_view.h"
#include "ui/view_animation.h"

namespace {

INT32 S() { return INT32(DUScaleFactor()); }

bool Add(RenderStage& stage, DUView* view, DUPoint at) {
  if (!view) return false;
  (void)DUViewSetOrigin(view, at);  // a view
  return !EFI_ERROR(DUScreenAddView(stage.screen, view));
}

// Solid pictures that live as long as the scene.
DUPixel* Solid(RenderStage& stage, DUSize size, DUPixel colour) {
  auto* pixels = new std::vector<DUPixel>(size_t(size.width) * size.height, colour);
  stage.cleanup.push_back([pixels] { delete pixels; });
  return pixels->data();
}

// A bar with a darker left block, so rows can be told apart.
DUPixel* Row(RenderStage& stage, DUSize size, DUPixel colour) {
  DUPixel* p = Solid(stage, size, colour);
  for (INT32 y = 2; y < size.height - 2; ++y) {
    for (INT32 x = 4; x < size.height + 4 && x < size.width; ++x) p[y * size.width + x] = colour & 0x007F7F7F;
  }
  return p;
}

bool Button(RenderStage& stage) {
  const Archive* archive = stage.OpenArchive("buttons");
  DUView* b = archive ? ArchiveButtonCreate(archive, "push_up.png", "push_selected.png", "push_down.png", nullptr, nullptr)
                      : nullptr;
  return Add(stage, b, DUPoint{16 * S(), 12 * S()});
}

bool Table(RenderStage& stage) {
  const INT32 rows = 10, s = S();
  static DUPixel* buffers[rows];
  static DUSize sizes[rows];
  const DUPixel colours[] = {0x00E8E8E8, 0x00D0E4F8, 0x00F8E0D0, 0x00D8F0D8, 0x00F0F0C8};
  for (INT32 r = 0; r < rows; ++r) {
    sizes[r] = DUSize{20 * s, 120 * s};
    buffers[r] = Row(stage, sizes[r], colours[r % 5]);
  }
  DUView* table = nullptr;
  if (UITableViewCreate(&table, DURectMake(0, 0, 100 * s, 120 * s), rows, buffers, nullptr, sizes) != 0) return false;
  if (!Add(stage, table, DUPoint{20 * s, 10 * s})) return false;
  (void)UITableViewSetSelectedRow(table, 3);         // a table
  (void)UITableViewSetScrollPosition(table, -30 * s);  // rows do not fit
  return true;
}

// The table beside a scroll indicator: a grey track, a darker thumb with rounded caps.
bool TableWithIndicator(RenderStage& stage) {
  if (!Table(stage)) return false;
  DUView* table = nullptr;
  for (DUView* v = stage.screen->views; v; v = v->next) {
    if (v->kind == kUIViewKindTableView) table = v;
  }
  const INT32 s = S();
  DUSize cap{4 * s, 8 * s}, middle{1 * s, 8 * s}, track{8 * s, 8 * s};
  DUPixel* top = Solid(stage, cap, 0x00707070);
  DUPixel* bottom = Solid(stage, cap, 0x00707070);
  for (INT32 x = 0; x < cap.width; ++x) {  // round the caps' outer corners
    for (INT32 c : {0, cap.width - 1}) {
      top[c] = top[cap.width + c] = 0xFFFFFFFF;
      bottom[(cap.height - 1) * cap.width + c] = bottom[(cap.height - 2) * cap.width + c] = 0xFFFFFFFF;
    }
  }
  UIScrollIndicatorPictures pictures{top, cap, Solid(stage, middle, 0x00707070), middle, bottom, cap,
                                     Solid(stage, track, 0x00D8D8D8), track};
  DUView* indicator = nullptr;
  DURect frame = DURectMake(table->frame.x + table->frame.width + 2 * s, table->frame.y, table->frame.height, 8 * s);
  if (UIScrollIndicatorCreate(&indicator, frame, pictures, table) != 0) return false;
  if (EFI_ERROR(DUScreenAddView(stage.screen, indicator))) return false;
  (void)UITableViewSetScrollPosition(table, -60 * s);  // refreshes the indicator
  return true;
}

// A button that moves right and fades to half over 340 ms, ease-in-out: `wait` stops it
// on its way.
bool Animation(RenderStage& stage) {
  if (!Button(stage)) return false;
  DUView* button = stage.screen->views;
  const INT32 s = S();
  if (UIViewAnimationSetDuration(button, 340) != 0 || UIViewAnimationSetOptions(button, 6) != 0) return false;
  if (UIViewAnimateMove(button, DUPoint{button->frame.x + 120 * s, button->frame.y}) != 0) return false;
  return UIViewAnimateTransparency(button, 128, 1, 340) == 0;
}

bool Popover(RenderStage& stage) {
  const Archive* archive = stage.OpenArchive("buttons");
  if (!archive) return false;
  UIPopoverInfo info{};
  const INT32 s = S();
  info.width = 120 * s;
  DUSize frame{40 * s, 100 * s}, tile{10 * s, 100 * s};
  info.top_frame_image = Solid(stage, frame, 0x00F4F4F4);
  info.tile_frame_image = Solid(stage, tile, 0x00F4F4F4);
  info.bottom_frame_image = Solid(stage, frame, 0x00F4F4F4);
  info.top_frame_size = info.bottom_frame_size = frame;
  info.tile_frame_size = tile;
  for (const char* name : {"push_up.png", "push_selected.png"}) {
    DUPixel* pixels = nullptr;
    DUSize size{};
    UINTN bytes = 0;
    if (ArchiveCopyPNGImage(archive, name, &pixels, &size, &bytes, TRUE) != 0) return false;
    stage.cleanup.push_back([pixels] { PoolFree(pixels); });
    for (UINT32 i = 0; i < 3; ++i) {
      if (name[5] == 'u') {
        info.item_images[i] = pixels;
        info.item_sizes[i] = size;
        info.item_spacing[i] = 6 * s;
      } else {
        info.item_highlighted_images[i] = pixels;
      }
    }
  }
  info.item_count = 3;
  DUView* popover = nullptr;
  if (UIPopoverCreate(&popover, info) != 0) return false;
  if (!Add(stage, popover, DUPoint{20 * s, 0})) return false;
  return UIPopoverRegisterForEvents(popover) == 0;
}

bool Tile(RenderStage& stage) {
  const Archive* archive = stage.OpenArchive("tiles");
  if (!archive) return false;
  UISingleTileInfo info{};
  const char* names[] = {"tile_frame.png", "tile_frame_selected.png", "tile_frame_pressed.png"};
  const UINT32 slots[] = {kUITileImageNormal, kUITileImageSelected, kUITileImageSelectedPressed};
  for (int i = 0; i < 3; ++i) {
    DUPixel* pixels = nullptr;
    UINTN bytes = 0;
    if (ArchiveCopyPNGImage(archive, names[i], &pixels, &info.size, &bytes, TRUE) != 0) return false;
    stage.cleanup.push_back([pixels] { PoolFree(pixels); });
    info.images[slots[i]] = pixels;
  }
  info.mode = kUISingleTileModeSelected;
  DUView* tile = nullptr;
  if (UISingleTileViewCreate(&tile, info) != 0) return false;
  if (!Add(stage, tile, DUPoint{12 * S(), 12 * S()})) return false;
  return UISingleTileViewRegisterForEvents(tile) == 0;
}

// The battery with the controller's keys set for one state.
bool Battery(RenderStage& stage, uint8_t present, uint8_t bad, uint8_t status, uint8_t charge) {
  stage.smc->SetKey("BBIN", {present});
  stage.smc->SetKey("BBAD", {bad});
  stage.smc->SetKey("BSIn", {status});
  stage.smc->SetKey("BRSC", {0, charge});
  const Archive* archive = stage.OpenArchive("battery");
  if (!archive) return false;
  static DUView* view;
  view = nullptr;
  UIBatteryMonitor* monitor = UIBatteryMonitorCreate(&view, nullptr, archive, nullptr, nullptr);
  if (!monitor) return false;
  stage.cleanup.push_back([monitor] { UIBatteryMonitorDestroy(monitor); });
  return Add(stage, view, DUPoint{8 * S(), 5 * S()});
}

HEARTH_RENDER_SCENE(button_scene, "button", "a push button from buttons.efires", 96, 48, Button);
HEARTH_RENDER_SCENE(table_scene, "table", "ten rows, row 3 selected, scrolled by 30", 160, 120, Table);
HEARTH_RENDER_SCENE(table_indicator_scene, "table-indicator", "the table scrolled by 60 with a scroll indicator", 160,
                    120, TableWithIndicator);
HEARTH_RENDER_SCENE(animation_scene, "animation", "a button moving right and fading out in 340 ms", 240, 48, Animation);
HEARTH_RENDER_SCENE(popover_scene, "popover", "a popover of three buttons", 160, 160, Popover);
HEARTH_RENDER_SCENE(tile_scene, "tile", "a single tile in selected mode", 120, 120, Tile);
HEARTH_RENDER_SCENE(battery_charging_scene, "battery-charging", "battery charging at 57%", 44, 24,
                    [](RenderStage& s) { return Battery(s, 1, 0, 0x03, 57); });
HEARTH_RENDER_SCENE(battery_discharging_scene, "battery-discharging", "battery discharging at 20%", 44, 24,
                    [](RenderStage& s) { return Battery(s, 1, 0, 0x00, 20); });
HEARTH_RENDER_SCENE(battery_charged_scene, "battery-charged", "battery charged", 44, 24,
                    [](RenderStage& s) { return Battery(s, 1, 0, 0x02, 100); });
HEARTH_RENDER_SCENE(battery_missing_scene, "battery-missing", "no battery in its bay", 44, 24,
                    [](RenderStage& s) { return Battery(s, 0, 0, 0, 0); });
HEARTH_RENDER_SCENE(battery_bad_scene, "battery-bad", "a battery the controller calls bad", 44, 24,
                    [](RenderStage& s) { return Battery(s, 1, 1, 0, 0); });

}  // namespace
