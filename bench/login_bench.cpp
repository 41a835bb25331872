// The login window's way to its first frame at 2560x1600 on the host drawing path: from
// "Start LoginWindow Initialize" (FDELoginUIInitializeUsers: graphics, logo, users and
// their pictures, the window, the background scaled to the screen) through the views, the
// layout and the users pane to the first full-screen draw. The logo's deliberate 1.5 s and
// the fades are left out: they are waits, not work. The users pane's setup clears the fields,
// which already draws the screen: "layout" holds the first full draw, "draw" what is left.
// Information: the share of each stage,
// and "ratio login_first_frame_vs_100ms_budget" (100 ms over our time; above 1 is inside it).
#include <benchmark/benchmark.h>

#include <ctime>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "efi/protocols/tarn_image_conversion.h"
#include "login/login_ui.h"
#include "login/window_internal.h"
#include "testfw/memory_file_system.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "testfw/test_firmware.h"
#include "tools/lib/uchr_writer.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/run_loop.h"

namespace {

constexpr int kWidth = 2560, kHeight = 1600;

// Pictures for the bench: "PIC2", width and height as 16-bit numbers, then the pixels.
struct BenchCodec {
  TarnImageConversionProtocol protocol{};
  static EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol*, const VOID* data, UINTN size) {
    return size >= 8 && std::memcmp(data, "PIC2", 4) == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol*, const VOID* data, UINTN, UINT32* w, UINT32* h) {
    const auto* b = static_cast<const uint8_t*>(data);
    *w = b[4] | (b[5] << 8);
    *h = b[6] | (b[7] << 8);
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol*, const VOID* data, UINTN size, VOID** pixels,
                                  UINTN* pixels_size) {
    UINTN bytes = size - 8;
    EFI_STATUS status = gBS->AllocatePool(EfiBootServicesData, bytes, pixels);
    if (EFI_ERROR(status)) return status;
    std::memcpy(*pixels, static_cast<const uint8_t*>(data) + 8, bytes);
    *pixels_size = bytes;
    return EFI_SUCCESS;
  }
  BenchCodec() {
    protocol.RecognizeImageData = Recognize;
    protocol.GetImageDimensions = Dimensions;
    protocol.DecodeImageData = Decode;
    TestFirmware::Current().InstallProtocol(nullptr, kTarnImageConversionProtocolGuid, &protocol);
  }
};

std::string Pic(int w, int h, uint32_t seed) {
  std::string s = "PIC2";
  s += char(w & 0xFF);
  s += char(w >> 8);
  s += char(h & 0xFF);
  s += char(h >> 8);
  s.resize(8 + size_t(w) * h * 4);
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    uint32_t p = (seed * 2654435761u + uint32_t(i) * 40503u) & 0x00FFFFFF;  // opaque
    std::memcpy(&s[8 + i * 4], &p, 4);
  }
  return s;
}

std::vector<uint8_t> Archive(const std::map<std::string, std::string>& entries) {
  std::vector<uint8_t> out(4 + 72 * entries.size(), 0);
  out[2] = uint8_t(entries.size());
  out[3] = uint8_t(entries.size() >> 8);
  size_t i = 0;
  for (const auto& [name, data] : entries) {
    uint32_t offset = uint32_t(out.size()), length = uint32_t(data.size());
    std::memcpy(&out[4 + 72 * i], name.data(), name.size());
    std::memcpy(&out[4 + 72 * i + 64], &offset, 4);
    std::memcpy(&out[4 + 72 * i + 68], &length, 4);
    out.insert(out.end(), data.begin(), data.end());
    ++i;
  }
  return out;
}

struct Inputs {
  std::vector<uint8_t> loginui, logo, user;
  Inputs() {
    UchrLayout layout;
    std::string error;
    std::vector<uint8_t> uchr;
    if (CompileUchrFromXkb(UchrXkbSource{"us", ""}, &layout, &error)) WriteUchr(layout, &uchr, &error);
    std::map<std::string, std::string> ui;
    for (const char* b : {"loginui_shutdown_up.png", "loginui_shutdown_down.png", "loginui_restart_up.png",
                          "loginui_restart_down.png", "loginui_password_hint_up.png", "loginui_password_hint_down.png",
                          "loginui_goButton.png", "loginui_goButtonPressed.png", "loginui_goBackButton.png",
                          "loginui_goBackButtonPressed.png", "loginui_next.png", "loginui_nextPressed.png",
                          "loginui_previous.png", "loginui_previousPressed.png"}) {
      ui[b] = Pic(44, 44, 1);
    }
    for (const char* f : {"loginui_name_field.png", "loginui_name_field_focus.png", "loginui_password_field.png",
                          "loginui_password_field_focus.png", "loginui_recovery_field.png",
                          "loginui_recovery_field_focus.png"}) {
      ui[f] = Pic(340, 60, 2);
    }
    for (const char* p : {"loginui_name_field_placeholder.png", "loginui_password_field_placeholder.png",
                          "loginui_recovery_field_placeholder.png"}) {
      ui[p] = Pic(120, 34, 3);
    }
    ui["loginui_passdot.png"] = Pic(14, 14, 4);
    ui["loginui_password_capslock.png"] = Pic(20, 20, 5);
    ui["loginui_text_selection_color.png"] = Pic(2, 34, 6);
    ui["loginui_magicPocketShadow_left.png"] = Pic(20, 200, 7);
    ui["loginui_magicPocketShadow_right.png"] = Pic(20, 200, 7);
    ui["loginui_background.png"] = Pic(1280, 800, 8);  // scaled to the screen
    ui["loginui_keyboard_layout.uchr"] = std::string(uchr.begin(), uchr.end());
    loginui = Archive(ui);
    logo = Archive({{"tarnLogo_tarn.png", Pic(236, 280, 9)}, {"tarnLogo_tarn_gray.png", Pic(236, 280, 9)}});
    std::map<std::string, std::string> avatar;
    for (const char* a : {"avatar.png", "avatar_pressed.png", "avatar_sel.png", "avatar_sel_pressed.png"}) {
      avatar[a] = Pic(256, 256, 10);
    }
    user = Archive(avatar);
  }
};

// The thread's processor time: the machine is shared, and waiting for it is not the window's
// work.
struct Clock {
  using time_point = double;  // milliseconds
  static time_point now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
  }
};
double Ms(Clock::time_point a, Clock::time_point b) { return b - a; }

void BM_Login_FirstFrame(benchmark::State& state) {
  static const Inputs inputs;
  double stage[4] = {}, total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      TestFirmware fw;
      MemoryGraphicsOutput display(kWidth, kHeight);
      MemoryTarnEvents events(7);
      events.Install();
      BenchCodec codec;
      MemoryFileSystem fs;
      fs.AddFile("\\usr\\standalone\\i386\\EfiLoginUI\\loginui.efires", inputs.loginui);
      fs.AddFile("\\usr\\standalone\\i386\\EfiLoginUI\\tarnLogo.efires", inputs.logo);
      fs.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
      EFI_FILE_PROTOCOL* root = nullptr;
      fs.Protocol()->OpenVolume(fs.Protocol(), &root);
      static const char* const kNames[] = {"Alice", "bob", "carol"};
      LodestoreUserName names[3];
      LodestoreUser users[3] = {};
      LodestoreUser* panel[3];
      for (int i = 0; i < 3; ++i) {
        names[i] = {reinterpret_cast<const UINT8*>(kNames[i]), UINT32(std::strlen(kNames[i]))};
        users[i].names = &names[i];
        users[i].name_count = 1;
        users[i].picture = inputs.user.data();
        users[i].picture_length = UINT32(inputs.user.size());
        panel[i] = &users[i];
      }
      LodestoreUser* special[kSpecialSlotCount] = {};
      LoginUICallbacks callbacks{};
      LoginUIRecord* ui = nullptr;
      state.ResumeTiming();
      Clock::time_point t0 = Clock::now();
      EFI_STATUS status = FDELoginUIInitializeUsers(&ui, fw.ImageHandle(), fw.SystemTable(), root, 3, panel, special,
                                                    kLoginFlagAlways, &callbacks);
      Clock::time_point t1 = Clock::now();
      LoginWindow* lw = ui ? ui->window : nullptr;
      if (EFI_ERROR(status) || !lw || !ui->window_created) {
        state.SkipWithError("the window could not be initialised");
        break;
      }
      KeyboardCenterCreate(&lw->keyboard, lw);
      LoginWindowCreate_AllView(lw);
      Clock::time_point t2 = Clock::now();
      DUScreenRemoveView(ui->screen, ui->logo_view);
      ui->logo_view = nullptr;
      if (ui->background_view) DUScreenSetBackgroundView(ui->screen, ui->background_view);
      ui->background_view = nullptr;
      _LW_AddViewsToScreen(lw);
      _LW_PositionUIElements(lw);
      _LW_UsersPane_SetupUI(lw, FALSE);
      Clock::time_point t3 = Clock::now();
      DUScreenDraw(ui->screen);
      Clock::time_point t4 = Clock::now();
      state.PauseTiming();
      stage[0] += Ms(t0, t1);
      stage[1] += Ms(t1, t2);
      stage[2] += Ms(t2, t3);
      stage[3] += Ms(t3, t4);
      total += Ms(t0, t4);
      RunLoop* leftover = RunLoopGetCurrent();
      RunLoopExit();
      RunLoopRun(leftover);
      FDELoginUIDestroy(ui);
      root->Close(root);
    }
    state.ResumeTiming();
  }
  double n = double(state.iterations());
  if (n == 0 || total == 0) return;
  state.counters["initialize_ms"] = stage[0] / n;
  state.counters["views_ms"] = stage[1] / n;
  state.counters["layout_ms"] = stage[2] / n;
  state.counters["draw_ms"] = stage[3] / n;
  state.counters["initialize_share"] = stage[0] / total;
  state.counters["views_share"] = stage[1] / total;
  state.counters["layout_share"] = stage[2] / total;
  state.counters["draw_share"] = stage[3] / total;
  BenchRecordRatio("login_first_frame_vs_100ms_budget", 100.0 / (total / n));
}
BENCHMARK(BM_Login_FirstFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
