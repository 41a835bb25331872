// Translation of 10^6 key events through the German layout compiled from xkb-data, dead
// keys included: hearth's EFIKeyTranslate against libxkbcommon's keymap state and compose
// state doing the same (keysym, text, composition) for the same events. Information only.
#include <benchmark/benchmark.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <random>
#include <vector>

#include "bench/ratio.h"
#include "tools/lib/hid_evdev.h"
#include "tools/lib/uchr_writer.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/key_codes.h"
#include "ui/key_translate.h"

namespace {

constexpr size_t kEvents = 1000000;

struct Event {
  uint32_t usage;
  uint32_t combo;  // index into kUchrModifierCombinations
};

// Letters, digits, space and the dead-key row, mostly unmodified, sometimes shifted.
const std::vector<Event>& Events() {
  static const std::vector<Event> events = [] {
    std::mt19937 random(19);
    std::vector<uint32_t> usages;
    for (uint32_t u = 0x04; u <= 0x2E; ++u) usages.push_back(u);
    std::vector<Event> out(kEvents);
    for (Event& e : out) {
      e.usage = usages[random() % usages.size()];
      e.combo = random() % 8 == 0 ? 1 : 0;
    }
    return out;
  }();
  return events;
}

const std::vector<uint8_t>& GermanLayout() {
  static const std::vector<uint8_t> bytes = [] {
    UchrLayout layout;
    std::string error;
    std::vector<uint8_t> out;
    if (CompileUchrFromXkb(UchrXkbSource{"de", ""}, &layout, &error)) WriteUchr(layout, &out, &error);
    return out;
  }();
  return bytes;
}

void BM_UiLayout_Translate_Hearth(benchmark::State& state) {
  const auto& bytes = GermanLayout();
  if (bytes.empty()) {
    state.SkipWithError("layout not compiled");
    return;
  }
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  std::vector<uint8_t> keys;
  for (const Event& e : Events()) keys.push_back(UIVirtualKeyForUsage(e.usage, 46));
  for (auto _ : state) {
    UINT32 dead = 0;
    size_t units = 0;
    for (size_t i = 0; i < kEvents; ++i) {
      CHAR16 out[8];
      UINTN length = 0;
      EFIKeyTranslate(&layout, keys[i], kEFIKeyActionDown, kUchrModifierCombinations[Events()[i].combo], 46, 0, &dead,
                      8, &length, out);
      units += length;
    }
    benchmark::DoNotOptimize(units);
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
}
BENCHMARK(BM_UiLayout_Translate_Hearth)->Unit(benchmark::kMillisecond);

void BM_UiLayout_Translate_Libxkbcommon(benchmark::State& state) {
  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  xkb_rule_names names{"evdev", "pc105", "de", "", ""};
  xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
  FILE* file = std::fopen("/usr/share/X11/locale/en_US.UTF-8/Compose", "r");
  xkb_compose_table* table =
      file ? xkb_compose_table_new_from_file(context, file, "en_US.UTF-8", XKB_COMPOSE_FORMAT_TEXT_V1,
                                             XKB_COMPOSE_COMPILE_NO_FLAGS)
           : nullptr;
  if (file) std::fclose(file);
  if (!keymap || !table) {
    state.SkipWithError("libxkbcommon keymap or compose table missing");
    return;
  }
  xkb_state* plain = xkb_state_new(keymap);
  xkb_state* shifted = xkb_state_new(keymap);
  xkb_state_update_key(shifted, 42 + 8, XKB_KEY_DOWN);
  xkb_compose_state* compose = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
  std::vector<uint32_t> keycodes;
  for (const Event& e : Events()) keycodes.push_back(XkbKeycodeForHidUsage(e.usage));
  for (auto _ : state) {
    size_t units = 0;
    for (size_t i = 0; i < kEvents; ++i) {
      xkb_state* s = Events()[i].combo ? shifted : plain;
      xkb_keysym_t keysym = xkb_state_key_get_one_sym(s, keycodes[i]);
      xkb_compose_state_feed(compose, keysym);
      switch (xkb_compose_state_get_status(compose)) {
        case XKB_COMPOSE_COMPOSED:
          units += xkb_keysym_to_utf32(xkb_compose_state_get_one_sym(compose)) != 0;
          xkb_compose_state_reset(compose);
          break;
        case XKB_COMPOSE_CANCELLED:
          xkb_compose_state_reset(compose);
          break;
        case XKB_COMPOSE_NOTHING:
          units += xkb_state_key_get_utf32(s, keycodes[i]) != 0;
          break;
        default:
          break;
      }
    }
    benchmark::DoNotOptimize(units);
  }
  state.SetItemsProcessed(state.iterations() * kEvents);
  xkb_compose_state_unref(compose);
  xkb_state_unref(shifted);
  xkb_state_unref(plain);
  xkb_compose_table_unref(table);
  xkb_keymap_unref(keymap);
  xkb_context_unref(context);
}
BENCHMARK(BM_UiLayout_Translate_Libxkbcommon)->Unit(benchmark::kMillisecond);

HEARTH_BENCH_RATIO(ui_layout_ratio, "ui_layout_translate_1e6", "BM_UiLayout_Translate_Hearth",
                   "BM_UiLayout_Translate_Libxkbcommon");

}  // namespace
