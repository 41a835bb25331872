#include "tools/lib/uchr_xkb.h"

#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <map>
#include <memory>

#include "tools/lib/hid_evdev.h"
#include "ui/key_codes.h"
#include "ui/key_translate.h"

const std::vector<uint32_t> kUchrModifierCombinations = [] {
  std::vector<uint32_t> combos;
  for (uint32_t m = 0; m < 32; m += 2) combos.push_back(m);  // every combination without command
  return combos;
}();

const std::vector<UchrStandardLayout> kUchrStandardLayouts = {
    {"us", "English (US)"},   {"gb", "English (UK)"}, {"de", "German"},  {"fr", "French"},
    {"es", "Spanish"},        {"it", "Italian"},      {"se", "Swedish"}, {"nl", "Dutch"},
    {"jp", "Japanese (Latin)"}, {"ru", "Russian"},
};

uint16_t UchrControlCodeForKeysym(uint32_t keysym) {
  switch (keysym) {
    case XKB_KEY_Left: return 28;
    case XKB_KEY_Right: return 29;
    case XKB_KEY_Up: return 30;
    case XKB_KEY_Down: return 31;
    case XKB_KEY_Home: return 1;
    case XKB_KEY_End: return 4;
    case XKB_KEY_Prior: return 11;
    case XKB_KEY_Next: return 12;
    case XKB_KEY_Help: return 5;
    default: return 0xFFFF;
  }
}

namespace {

constexpr uint32_t kKeyNumLock = 69 + 8;
constexpr uint32_t kKeyCapsLock = 58 + 8;
constexpr uint32_t kKeyLeftShift = 42 + 8;
constexpr uint32_t kKeyLeftControl = 29 + 8;
constexpr uint32_t kKeyRightAlt = 100 + 8;  // the third level on most layouts
constexpr size_t kTableSize = 128;

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Context = std::unique_ptr<xkb_context, Deleter<xkb_context, xkb_context_unref>>;
using Keymap = std::unique_ptr<xkb_keymap, Deleter<xkb_keymap, xkb_keymap_unref>>;
using State = std::unique_ptr<xkb_state, Deleter<xkb_state, xkb_state_unref>>;
using ComposeTable = std::unique_ptr<xkb_compose_table, Deleter<xkb_compose_table, xkb_compose_table_unref>>;
using ComposeState = std::unique_ptr<xkb_compose_state, Deleter<xkb_compose_state, xkb_compose_state_unref>>;

std::u16string Utf16FromCodePoint(uint32_t cp) {
  if (cp < 0x10000) return std::u16string(1, static_cast<char16_t>(cp));
  cp -= 0x10000;
  return {static_cast<char16_t>(0xD800 + (cp >> 10)), static_cast<char16_t>(0xDC00 + (cp & 0x3FF))};
}

std::u16string Utf16FromUtf8(const std::string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    uint32_t cp = c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
    for (int k = 1; k <= extra && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    i += extra + 1;
    out += Utf16FromCodePoint(cp);
  }
  return out;
}

// A keymap state with the layout modifier byte's keys held (or locked), NumLock on.
State StateFor(xkb_keymap* keymap, uint32_t modifiers) {
  State state(xkb_state_new(keymap));
  auto tap = [&](uint32_t key) {
    xkb_state_update_key(state.get(), key, XKB_KEY_DOWN);
    xkb_state_update_key(state.get(), key, XKB_KEY_UP);
  };
  tap(kKeyNumLock);
  if (modifiers & kEFIKeyModifierCapsLock) tap(kKeyCapsLock);
  if (modifiers & kEFIKeyModifierShift) xkb_state_update_key(state.get(), kKeyLeftShift, XKB_KEY_DOWN);
  if (modifiers & kEFIKeyModifierControl) xkb_state_update_key(state.get(), kKeyLeftControl, XKB_KEY_DOWN);
  if (modifiers & kEFIKeyModifierOption) xkb_state_update_key(state.get(), kKeyRightAlt, XKB_KEY_DOWN);
  return state;
}

struct KeyResult {
  xkb_keysym_t keysym = XKB_KEY_NoSymbol;
  uint32_t code_point = 0;
};

class Compiler {
 public:
  Compiler(xkb_keymap* keymap, xkb_compose_table* compose) : keymap_(keymap), compose_(compose) {}

  bool Run(UchrLayout* out, std::string* error) {
    ReadKeys();
    FindDeadKeys();
    out->table_size = kTableSize;
    out->keyboards = {UchrKeyboard{0, 255, {}}, UchrKeyboard{205, 205, {}}};  // default, then ISO
    std::vector<size_t> table_of_combo;
    for (size_t c = 0; c < kUchrModifierCombinations.size(); ++c) {
      std::vector<uint16_t> physical(256, 0xFFFF);
      for (uint32_t usage = 0; usage < 256; ++usage) physical[usage] = OutputFor(c, usage, out);
      table_of_combo.push_back(AddTables(physical, out));
    }
    out->modifier_tables.resize(32);
    for (uint32_t m = 0; m < 32; ++m) out->modifier_tables[m] = static_cast<uint8_t>(table_of_combo[(m & 0x1E) / 2]);
    out->default_table = static_cast<uint16_t>(table_of_combo[0]);
    for (xkb_keysym_t dead : dead_keys_) {
      std::u16string spacing = Compose(dead, XKB_KEY_space);
      out->terminators.push_back(out->ValueForText(spacing));
    }
    if (out->states.size() > 0x3FFF || out->sequences.size() > 0x3FFF) {
      *error = "too many dead-key records for one layout";
      return false;
    }
    return true;
  }

 private:
  void ReadKeys() {
    keys_.assign(kUchrModifierCombinations.size(), std::vector<KeyResult>(256));
    for (size_t c = 0; c < kUchrModifierCombinations.size(); ++c) {
      State state = StateFor(keymap_, kUchrModifierCombinations[c]);
      for (uint32_t usage = 0; usage < 256; ++usage) {
        uint32_t keycode = XkbKeycodeForHidUsage(usage);
        if (keycode == 0 || UIVirtualKeyForUsage(usage, 46) == kUINoVirtualKey) continue;
        keys_[c][usage].keysym = xkb_state_key_get_one_sym(state.get(), keycode);
        keys_[c][usage].code_point = xkb_state_key_get_utf32(state.get(), keycode);
      }
    }
  }

  bool IsDead(xkb_keysym_t keysym) {
    if (keysym == XKB_KEY_NoSymbol || keysym == XKB_KEY_Multi_key) return false;
    ComposeState state(xkb_compose_state_new(compose_, XKB_COMPOSE_STATE_NO_FLAGS));
    return xkb_compose_state_feed(state.get(), keysym) == XKB_COMPOSE_FEED_ACCEPTED &&
           xkb_compose_state_get_status(state.get()) == XKB_COMPOSE_COMPOSING;
  }

  void FindDeadKeys() {
    for (auto& combo : keys_) {
      for (auto& key : combo) {
        if (!IsDead(key.keysym) || dead_state_.count(key.keysym)) continue;
        dead_keys_.push_back(key.keysym);
        dead_state_[key.keysym] = static_cast<uint16_t>(dead_keys_.size());
      }
    }
  }

  // The text of dead followed by keysym; empty when they do not compose.
  std::u16string Compose(xkb_keysym_t dead, xkb_keysym_t keysym) {
    ComposeState state(xkb_compose_state_new(compose_, XKB_COMPOSE_STATE_NO_FLAGS));
    xkb_compose_state_feed(state.get(), dead);
    xkb_compose_state_feed(state.get(), keysym);
    if (xkb_compose_state_get_status(state.get()) != XKB_COMPOSE_COMPOSED) return {};
    char utf8[64];
    int n = xkb_compose_state_get_utf8(state.get(), utf8, sizeof(utf8));
    if (n <= 0 || n >= static_cast<int>(sizeof(utf8))) return {};
    return Utf16FromUtf8(std::string(utf8, n));
  }

  uint16_t OutputFor(size_t combo, uint32_t usage, UchrLayout* out) {
    const KeyResult& key = keys_[combo][usage];
    if (key.keysym == XKB_KEY_NoSymbol) return 0xFFFF;
    UchrStateRecord record;
    auto dead = dead_state_.find(key.keysym);
    if (dead != dead_state_.end()) {
      record.zero_next = dead->second;
    } else if (key.code_point != 0) {
      record.zero_output = out->ValueForText(Utf16FromCodePoint(key.code_point));
    } else {
      record.zero_output = UchrControlCodeForKeysym(key.keysym);
    }
    for (size_t s = 0; s < dead_keys_.size(); ++s) {
      std::u16string composed = Compose(dead_keys_[s], key.keysym);
      if (!composed.empty()) record.entries.push_back({static_cast<uint16_t>(s + 1), out->ValueForText(composed)});
    }
    if (record.zero_next == 0 && record.entries.empty()) return record.zero_output;
    return UchrLayout::StateValue(out->AddState(record));
  }

  // Usages that share a virtual key (insert and help, the two backslash positions): the
  // lowest usage is the one the layout describes.
  static bool SharesEarlierKey(uint32_t usage, uint32_t type) {
    uint8_t v = UIVirtualKeyForUsage(usage, type);
    for (uint32_t earlier = 0; earlier < usage; ++earlier) {
      if (UIVirtualKeyForUsage(earlier, type) == v && XkbKeycodeForHidUsage(earlier) != 0) return true;
    }
    return false;
  }

  // Places the keys by virtual key code, once for the ANSI/JIS types and once for ISO.
  size_t AddTables(const std::vector<uint16_t>& physical, UchrLayout* out) {
    uint32_t types[2] = {46, kUIKeyboardTypeIso};
    std::vector<uint16_t> tables[2];
    for (int k = 0; k < 2; ++k) {
      tables[k].assign(kTableSize, 0xFFFF);
      for (uint32_t usage = 0; usage < 256; ++usage) {
        uint8_t v = UIVirtualKeyForUsage(usage, types[k]);
        if (v >= kTableSize || physical[usage] == 0xFFFF || SharesEarlierKey(usage, types[k])) continue;
        tables[k][v] = physical[usage];
      }
    }
    auto& ansi = out->keyboards[0].tables;
    for (size_t i = 0; i < ansi.size(); ++i) {
      if (ansi[i] == tables[0] && out->keyboards[1].tables[i] == tables[1]) return i;
    }
    ansi.push_back(tables[0]);
    out->keyboards[1].tables.push_back(tables[1]);
    return ansi.size() - 1;
  }

  xkb_keymap* keymap_;
  xkb_compose_table* compose_;
  std::vector<std::vector<KeyResult>> keys_;
  std::vector<xkb_keysym_t> dead_keys_;
  std::map<xkb_keysym_t, uint16_t> dead_state_;
};

}  // namespace

bool CompileUchrFromXkb(const UchrXkbSource& source, UchrLayout* out, std::string* error) {
  Context context(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
  if (!context) {
    *error = "libxkbcommon could not start";
    return false;
  }
  xkb_rule_names names{"evdev", "pc105", source.layout.c_str(), source.variant.c_str(), ""};
  Keymap keymap(xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
  if (!keymap) {
    *error = "no XKB layout '" + source.layout + (source.variant.empty() ? "" : "(" + source.variant + ")") +
             "' in xkb-data";
    return false;
  }
  FILE* file = std::fopen(source.compose_file.c_str(), "r");
  if (!file) {
    *error = "cannot open the compose table " + source.compose_file;
    return false;
  }
  ComposeTable compose(
      xkb_compose_table_new_from_file(context.get(), file, "en_US.UTF-8", XKB_COMPOSE_FORMAT_TEXT_V1,
                                      XKB_COMPOSE_COMPILE_NO_FLAGS));
  std::fclose(file);
  if (!compose) {
    *error = "cannot read the compose table " + source.compose_file;
    return false;
  }
  *out = UchrLayout{};
  return Compiler(keymap.get(), compose.get()).Run(out, error);
}
