// Render scenes of the carousel: users' tiles made from the tile frames of tiles.efires over
// a coloured picture per user, arrows and pockets from carousel.efires. Scenes with a frame
// in their name draw one frame of an animation (the animations run without pauses, so no
// script can stop in the middle of one).
#include <cstdio>
#include <memory>
#include <vector>

#include "draw/display.h"
#include "memory/memory.h"
#include "tools/render/render_scene.h"
#include "ui/archive_image.h"
#include "ui/carousel.h"

namespace {

INT32 S() { return INT32(DUScaleFactor()); }

struct Picture {
  DUPixel* pixels = nullptr;
  DUSize size{};
};

bool Load(RenderStage& stage, const Archive* archive, const char* name, Picture* out) {
  UINTN bytes = 0;
  if (!archive || ArchiveCopyPNGImage(archive, name, &out->pixels, &out->size, &bytes, TRUE) != 0) {
    std::fprintf(stderr, "render: no %s in the archive\n", name);
    return false;
  }
  DUPixel* pixels = out->pixels;
  stage.cleanup.push_back([pixels] { PoolFree(pixels); });
  return true;
}

// A user's picture: a disc of the user's colour with a lighter head and shoulders, darker
// when pressed.
void DrawUser(std::vector<DUPixel>& p, INT32 side, int user, bool pressed) {
  static const UINT8 kColours[][3] = {{0x4C, 0x7E, 0xC9}, {0xC9, 0x6A, 0x4C}, {0x5B, 0xA8, 0x6B}, {0x9B, 0x6B, 0xC2},
                                      {0xC8, 0xA2, 0x3D}, {0x3F, 0xA6, 0xA8}, {0xB8, 0x4F, 0x7E}, {0x77, 0x85, 0x93},
                                      {0x8E, 0x9E, 0x3A}};
  const UINT8* c = kColours[user % 9];
  auto shade = [&](UINT8 v, int percent) { return UINT8(v * percent / 100); };
  int dim = pressed ? 70 : 100;
  INT64 r = side * 38 / 96, cx = side / 2, cy = side / 2;
  for (INT32 y = 0; y < side; ++y) {
    for (INT32 x = 0; x < side; ++x) {
      INT64 dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy > r * r) continue;
      INT64 hy = y - (cy - r / 4), head = r * 3 / 8;
      INT64 sy = y - (cy + r), body = r * 7 / 10;
      bool figure = dx * dx + hy * hy <= head * head || (dx * dx + sy * sy <= body * body * 2);
      int light = figure ? 100 : 80;
      p[size_t(y) * side + x] =
          DUColorMake(shade(c[0], light * dim / 100), shade(c[1], light * dim / 100), shade(c[2], light * dim / 100), 0);
      if (figure) p[size_t(y) * side + x] = DUColorMake(shade(0xF2, dim), shade(0xF2, dim), shade(0xF2, dim), 0);
    }
  }
}

struct Users {
  std::vector<std::vector<DUPixel>> pictures;
  std::unique_ptr<UICarouselTileBuffers[]> tiles;
};

// count users; the carousel added to the screen, registered, and its view returned in out.
bool Carousel(RenderStage& stage, int count, DUView** out) {
  const Archive* tiles = stage.OpenArchive("tiles");
  const Archive* arrows = stage.OpenArchive("carousel");
  Picture frame, selected, pressed, next_up, next_down, prev_up, prev_down, left, right;
  if (!Load(stage, tiles, "tile_frame.png", &frame) || !Load(stage, tiles, "tile_frame_selected.png", &selected) ||
      !Load(stage, tiles, "tile_frame_pressed.png", &pressed) || !Load(stage, arrows, "go_next_up.png", &next_up) ||
      !Load(stage, arrows, "go_next_down.png", &next_down) || !Load(stage, arrows, "go_prev_up.png", &prev_up) ||
      !Load(stage, arrows, "go_prev_down.png", &prev_down) || !Load(stage, arrows, "magic_pocket_left.png", &left) ||
      !Load(stage, arrows, "magic_pocket_right.png", &right)) {
    return false;
  }
  auto users = std::make_shared<Users>();
  stage.cleanup.push_back([users] {});  // kept until the picture is written
  users->tiles.reset(new UICarouselTileBuffers[size_t(count)]());
  INT32 side = frame.size.width;
  // Buffers 1..6: normal, pressed, keyboard, keyboard pressed, selected, selected pressed.
  const Picture* frames[7] = {nullptr, &frame, &pressed, &selected, &pressed, &selected, &pressed};
  for (int u = 0; u < count; ++u) {
    for (int k = 1; k <= 6; ++k) {
      users->pictures.emplace_back(size_t(side) * side, 0xFFFFFFFF);
      std::vector<DUPixel>& p = users->pictures.back();
      DrawUser(p, side, u, k == 2 || k == 4 || k == 6);
      (void)DUCompositePixelBuffers(p.data(), frame.size, nullptr, frames[k]->pixels, frames[k]->size, DUPoint{0, 0},
                                    0, nullptr);  // same size
    }
  }
  for (int u = 0; u < count; ++u) {
    for (int k = 1; k <= 6; ++k) users->tiles[u][k] = users->pictures[size_t(u) * 6 + k - 1].data();
  }
  UICarouselTilesInfo info{};
  info.tileCount = count;
  info.tiles = users->tiles.get();
  info.tileHeight = side;
  info.tileWidth = side;
  info.spacing = 20 * S();
  info.visibleCount = 4;
  info.goNextUpImage = next_up.pixels;
  info.goNextDownImage = next_down.pixels;
  info.goNextImageSize = next_up.size;
  info.goPrevUpImage = prev_up.pixels;
  info.goPrevDownImage = prev_down.pixels;
  info.goPrevImageSize = prev_up.size;
  UICarouselMagicPockets pockets{left.pixels, left.size, right.pixels, right.size};
  DUView* view = nullptr;
  if (UICarouselViewCreate(&view, &info, &pockets) != 0) return false;
  // Creation copied the tile array: the users' pictures stay in the cleanup list above.
  if (EFI_ERROR(DUScreenAddView(stage.screen, view)) || UICarouselViewRegisterForEvents(view) != 0) return false;
  *out = view;
  return true;
}

bool UserList(RenderStage& stage, int count) {
  DUView* view = nullptr;
  return Carousel(stage, count, &view);
}

// The keyboard highlight on the sixth user, scrolled into the window.
bool Keyboard(RenderStage& stage) {
  DUView* view = nullptr;
  return Carousel(stage, 9, &view) && UICarouselViewSetKeyboardSelectionIndex(view, 5) == 0;
}

// One frame of the select (or return) animation of the second user.
bool Frame(RenderStage& stage, int count, INT32 operation, INT32 frame) {
  DUView* view = nullptr;
  if (!Carousel(stage, count, &view)) return false;
  UICarouselState* state = UICarouselViewState(view);
  state->selectedIndex = 1;
  if (operation == DrawSelectedFadeOut || operation == DrawListFadeIn) state->state = UICarouselViewSelectedState;
  UICarouselDraw(view, operation, frame, 8 * S());
  return true;
}

// The carousel is 200 + (tile + spacing) * (visible + 1) wide at 1x: 780 for 96-pixel tiles.
constexpr int kWidth = 800, kHeight = 180;

HEARTH_RENDER_SCENE(carousel1_scene, "carousel-1", "a carousel with one user", kWidth, kHeight,
                    [](RenderStage& s) { return UserList(s, 1); });
HEARTH_RENDER_SCENE(carousel4_scene, "carousel-4", "four users: all fit, no arrows", kWidth, kHeight,
                    [](RenderStage& s) { return UserList(s, 4); });
HEARTH_RENDER_SCENE(carousel5_scene, "carousel-5", "five users: a next arrow and pocket", kWidth, kHeight,
                    [](RenderStage& s) { return UserList(s, 5); });
HEARTH_RENDER_SCENE(carousel9_scene, "carousel-9", "nine users, four at a time", kWidth, kHeight,
                    [](RenderStage& s) { return UserList(s, 9); });
HEARTH_RENDER_SCENE(carousel_keyboard_scene, "carousel-keyboard", "nine users, the sixth highlighted from the keyboard",
                    kWidth, kHeight, Keyboard);
HEARTH_RENDER_SCENE(carousel_select_frame_scene, "carousel-select-frame",
                    "nine users, the list half faded out for the second user", kWidth, kHeight,
                    [](RenderStage& s) { return Frame(s, 9, DrawListFadeOut, 4 * S()); });
HEARTH_RENDER_SCENE(carousel_selected_frame_scene, "carousel-selected-frame",
                    "nine users, the second user half faded in at the centre", kWidth, kHeight,
                    [](RenderStage& s) { return Frame(s, 9, DrawSelectedFadeIn, 4 * S()); });
HEARTH_RENDER_SCENE(carousel_return_frame_scene, "carousel-return-frame",
                    "nine users, returning: the list half faded in again", kWidth, kHeight,
                    [](RenderStage& s) { return Frame(s, 9, DrawListFadeIn, 4 * S()); });

}  // namespace
