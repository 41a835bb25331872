// The carousel and the menu on a 2560x1600 HiDPI display: one frame of the select
// animation (the list fading out: every tile composited at a layer transparency, then the
// screen repainted); the carousel's own buffer alone against pixman laying the same tiles
// with the same constant opacity over a buffer of the carousel's size; one redraw of a
// 30-row menu.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <vector>

#include "bench/ratio.h"
#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/test_firmware.h"
#include "ui/carousel.h"
#include "ui/menu.h"
#include "ui/table_view.h"

namespace {

constexpr int kWidth = 2560, kHeight = 1600, kTiles = 9, kVisible = 5, kTile = 2 * 128, kSpacing = 2 * 40;

std::vector<DUPixel> Tile(int seed) {
  std::vector<DUPixel> pixels(size_t(kTile) * kTile);
  for (int y = 0; y < kTile; ++y) {
    for (int x = 0; x < kTile; ++x) {
      bool inside = (x - kTile / 2) * (x - kTile / 2) + (y - kTile / 2) * (y - kTile / 2) < kTile * kTile / 5;
      pixels[size_t(y) * kTile + x] = DUColorMake(UINT8(x + seed), UINT8(y), 80, inside ? 0 : 255);
    }
  }
  return pixels;
}

// with_screen: the whole frame (the view drawn, the screen repainted and transferred);
// without: only the view's buffer, the work the pixman peer does.
void CarouselFrame(benchmark::State& state, bool with_screen) {
  TestFirmware fw;
  MemoryGraphicsOutput display(kWidth, kHeight);
  (void)DUInitialize();
  (void)DUSetScale(2);
  DUScreen* screen = nullptr;
  (void)DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen);
  std::vector<std::vector<DUPixel>> pictures;
  std::vector<UICarouselTileBuffers> tiles(kTiles);
  for (int t = 0; t < kTiles; ++t) {
    pictures.push_back(Tile(t));
    for (int k = 1; k <= 6; ++k) tiles[t][k] = pictures.back().data();
  }
  UICarouselTilesInfo info{};
  info.tileCount = kTiles;
  info.tiles = tiles.data();
  info.tileHeight = info.tileWidth = kTile;
  info.spacing = kSpacing;
  info.visibleCount = kVisible;
  DUView* view = nullptr;
  if (UICarouselViewCreate(&view, &info, nullptr) != 0 || DUScreenAddView(screen, view) != EFI_SUCCESS) {
    state.SkipWithError("carousel creation failed");
    return;
  }
  UICarouselViewState(view)->selectedIndex = 2;
  (void)DUScreenDraw(screen);
  int frame = 1;
  for (auto _ : state) {
    UICarouselDraw(view, DrawListFadeOut, frame, 16);
    if (with_screen) (void)DUScreenDraw(screen);
    frame = frame % 16 + 1;
  }
  (void)DUScreenDestroy(screen);
}

void BM_UI_CarouselFrame2560_Hearth(benchmark::State& state) { CarouselFrame(state, true); }
void BM_UI_CarouselView2560_Hearth(benchmark::State& state) { CarouselFrame(state, false); }

void BM_UI_CarouselView2560_Pixman(benchmark::State& state) {
  int width = 2 * 200 + (kTile + kSpacing) * (kVisible + 1), height = 2 * 160;
  std::vector<uint32_t> buffer(size_t(width) * height);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, buffer.data(), width * 4);
  std::vector<std::vector<DUPixel>> pictures;
  std::vector<pixman_image_t*> sources;
  for (int t = 0; t < kTiles; ++t) {
    pictures.push_back(Tile(t));
    sources.push_back(pixman_image_create_bits(PIXMAN_a8r8g8b8, kTile, kTile, pictures.back().data(), kTile * 4));
  }
  int frame = 1;
  for (auto _ : state) {
    std::fill(buffer.begin(), buffer.end(), 0x00FFFFFFu);
    pixman_color_t opacity{0, 0, 0, uint16_t(0xFFFF - 0xFFFF * frame / 16)};
    pixman_image_t* mask = pixman_image_create_solid_fill(&opacity);
    int list_x = (width - (kTile + kSpacing) * (kVisible + 1)) / 2;
    for (int t = 0; t < kTiles; ++t) {
      int x = list_x + kTile / 2 + kSpacing + (kTile + kSpacing) * t;
      pixman_image_composite32(PIXMAN_OP_OVER, sources[t], mask, dst, 0, 0, 0, 0, x, (height - kTile) / 2, kTile,
                               kTile);
    }
    pixman_image_unref(mask);
    benchmark::DoNotOptimize(buffer.data());
    frame = frame % 16 + 1;
  }
  for (pixman_image_t* s : sources) pixman_image_unref(s);
  pixman_image_unref(dst);
}

void BM_UI_MenuRedraw2560(benchmark::State& state) {
  TestFirmware fw;
  MemoryGraphicsOutput display(kWidth, kHeight);
  (void)DUInitialize();
  (void)DUSetScale(2);
  DUScreen* screen = nullptr;
  (void)DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen);
  TesselMenuResources resources{};
  TesselMenu* menu = TesselMenuCreate(screen, &resources);
  for (int i = 0; i < 30; ++i) {
    auto* row = static_cast<DUPixel*>(PoolAllocate(size_t(44) * 360 * 4));
    auto* selected = static_cast<DUPixel*>(PoolAllocate(size_t(44) * 360 * 4));
    for (int p = 0; p < 44 * 360; ++p) row[p] = selected[p] = DUColorMake(UINT8(i), UINT8(p), 10, UINT8(p % 3 ? 0 : 128));
    (void)TesselMenuAddItem(menu, row, selected, DUSize{44, 360}, nullptr, nullptr, FALSE);
  }
  if (TesselMenuShowAtPoint(menu, DUPoint{400, 200}) != 0) {
    state.SkipWithError("menu failed");
    return;
  }
  INT32 row = 0;
  for (auto _ : state) {
    (void)UITableViewSetSelectedRow(menu->tableView, row);
    (void)DUScreenDraw(screen);
    row = (row + 1) % 30;
  }
  TesselMenuDestroy(menu);
  (void)DUScreenDestroy(screen);
}

}  // namespace

BENCHMARK(BM_UI_CarouselFrame2560_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UI_CarouselView2560_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UI_CarouselView2560_Pixman)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UI_MenuRedraw2560)->Unit(benchmark::kMillisecond);

HEARTH_BENCH_RATIO(kCarouselView, "carousel_view_2560x1600_vs_pixman_tiles", "BM_UI_CarouselView2560_Hearth",
                   "BM_UI_CarouselView2560_Pixman");
