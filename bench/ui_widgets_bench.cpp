// Login widgets at 2560x1600: one frame of a full-screen transparency animation (the
// animation step, the screen's composite and the transfer to the display) against pixman
// laying the same view over the screen with a constant opacity; and a popover redraw after
// the pressed item changed (its buffer, the screen's changed area, the transfer).
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstring>
#include <vector>

#include "bench/ratio.h"
#include "draw/display.h"
#include "draw/screen.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "testfw/test_firmware.h"
#include "ui/event_protocol.h"
#include "ui/popover.h"
#include "ui/view_animation.h"

namespace {

constexpr int kWidth = 2560, kHeight = 1600;

// A full-screen view with a soft vertical transparency ramp.
std::vector<DUPixel> Veil() {
  std::vector<DUPixel> v(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) v[size_t(y) * kWidth + x] = DUColorMake(UINT8(x), 40, UINT8(y), UINT8(y * 255 / kHeight));
  }
  return v;
}

void BM_UIWidgets_AnimationFrame_2560x1600(benchmark::State& state) {
  TestFirmware fw;
  MemoryGraphicsOutput display(kWidth, kHeight);
  DUScreen* screen = nullptr;
  if (EFI_ERROR(DUInitialize()) || EFI_ERROR(DUScreenCreate(DUColorMake(30, 60, 90, 0), &screen))) {
    state.SkipWithError("no screen");
    return;
  }
  std::vector<DUPixel> veil = Veil();
  DUView* view = nullptr;
  (void)DUViewCreate(DURectMake(0, 0, kHeight, kWidth), &view);
  std::memcpy(view->pixels, veil.data(), veil.size() * 4);
  (void)DUScreenAddView(screen, view);
  (void)DUScreenDraw(screen);
  (void)UIViewAnimateTransparency(view, 200, kUIAnimationLinear | kUIAnimationRepeat, 1000);
  for (auto _ : state) benchmark::DoNotOptimize(UIViewAnimationTick(screen));
  UIViewAnimationStopScreen(screen);
  (void)DUScreenDestroy(screen);
}

void BM_UIWidgets_AnimationFrame_PixmanOver(benchmark::State& state) {
  std::vector<DUPixel> veil = Veil();
  std::vector<uint32_t> premultiplied(veil.size()), screen(veil.size(), 0xFF1E3C5A);
  for (size_t i = 0; i < veil.size(); ++i) {
    uint32_t a = 255 - (veil[i] >> 24), out = a << 24;
    for (int c = 0; c < 3; ++c) out |= (((veil[i] >> (8 * c)) & 0xFF) * a / 255) << (8 * c);
    premultiplied[i] = out;
  }
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, premultiplied.data(), kWidth * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, screen.data(), kWidth * 4);
  pixman_color_t half{0, 0, 0, 0x8000};
  pixman_image_t* mask = pixman_image_create_solid_fill(&half);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, mask, dst, 0, 0, 0, 0, 0, 0, kWidth, kHeight);
    benchmark::DoNotOptimize(screen.data());
  }
  pixman_image_unref(mask);
  pixman_image_unref(src);
  pixman_image_unref(dst);
}

void BM_UIWidgets_PopoverRedraw(benchmark::State& state) {
  TestFirmware fw;
  MemoryGraphicsOutput display(kWidth, kHeight);
  MemoryTarnEvents events(7);
  events.Install();
  DUScreen* screen = nullptr;
  if (EFI_ERROR(InstallTarnEventProtocol(fw.ImageHandle())) || EFI_ERROR(DUInitialize()) ||
      EFI_ERROR(DUSetScale(2)) || EFI_ERROR(DUScreenCreate(DUColorMake(30, 60, 90, 0), &screen))) {
    state.SkipWithError("no screen");
    return;
  }
  std::vector<DUPixel> frame(size_t(80) * 480, 0x10F4F4F4), tile(size_t(20) * 480, 0x10F4F4F4),
      item(size_t(48) * 400, 0x00D0D0D0), lit(size_t(48) * 400, 0x0086B6EF);
  UIPopoverInfo info{};
  info.width = 480;
  info.top_frame_image = info.bottom_frame_image = frame.data();
  info.tile_frame_image = tile.data();
  info.top_frame_size = info.bottom_frame_size = DUSize{80, 480};
  info.tile_frame_size = DUSize{20, 480};
  info.item_count = 6;
  for (int i = 0; i < 6; ++i) {
    info.item_images[i] = item.data();
    info.item_highlighted_images[i] = lit.data();
    info.item_sizes[i] = DUSize{48, 400};
    info.item_spacing[i] = 12;
  }
  DUView* popover = nullptr;
  (void)UIPopoverCreate(&popover, info);
  (void)DUViewSetOrigin(popover, DUPoint{1000, 400});
  (void)DUScreenAddView(screen, popover);
  (void)UIPopoverRegisterForEvents(popover);
  (void)DUScreenDraw(screen);
  int n = 0;
  for (auto _ : state) {
    DURect r = UIPopoverItemRect(popover, n++ % 6);
    events.Fire(kTarnEventPointerButton, kTarnPointerDown | kTarnPointerPrimary, 0,
                TarnEventPosition{popover->frame.x + r.x + 4, popover->frame.y + r.y + 4});
  }
  (void)DUScreenDestroy(screen);
  RemoveTarnEventProtocol();
}

BENCHMARK(BM_UIWidgets_AnimationFrame_2560x1600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UIWidgets_AnimationFrame_PixmanOver)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UIWidgets_PopoverRedraw)->Unit(benchmark::kMicrosecond);

HEARTH_BENCH_RATIO(kAnimationFrame, "animation_frame_2560x1600_vs_pixman_over", "BM_UIWidgets_AnimationFrame_2560x1600",
                   "BM_UIWidgets_AnimationFrame_PixmanOver");

}  // namespace
