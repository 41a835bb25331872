// Every layout compiled from xkb-data is checked against libxkbcommon itself: each key under
// each modifier combination on the three keyboard types, and each dead key followed by
// every key (letters, space, itself). The reference keymap state and compose state are set
// up here, apart from the compiler.
#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>

#include "tests/required_tool.h"
#include "tests/ui/layout_test_support.h"
#include "tools/lib/hid_evdev.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/key_codes.h"

namespace {

const char* kComposeFile = "/usr/share/X11/locale/en_US.UTF-8/Compose";

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t cp = c & (0x7F >> extra);
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += extra + 1;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::u16string Utf16(uint32_t cp) {
  if (cp < 0x10000) return std::u16string(1, static_cast<char16_t>(cp));
  return {static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF))};
}

struct Reference {
  xkb_context* context = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_compose_table* compose = nullptr;
  ~Reference() {
    xkb_compose_table_unref(compose);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
  }
};

// The key's keysym and text with the layout modifiers held; NumLock is on.
struct KeyResult {
  xkb_keysym_t keysym;
  uint32_t code_point;
};

KeyResult ReferenceKey(xkb_keymap* keymap, uint32_t modifiers, uint32_t keycode) {
  xkb_state* state = xkb_state_new(keymap);
  auto tap = [&](uint32_t key) {
    xkb_state_update_key(state, key + 8, XKB_KEY_DOWN);
    xkb_state_update_key(state, key + 8, XKB_KEY_UP);
  };
  tap(69);  // NumLock
  if (modifiers & kEFIKeyModifierCapsLock) tap(58);
  if (modifiers & kEFIKeyModifierShift) xkb_state_update_key(state, 42 + 8, XKB_KEY_DOWN);
  if (modifiers & kEFIKeyModifierControl) xkb_state_update_key(state, 29 + 8, XKB_KEY_DOWN);
  if (modifiers & kEFIKeyModifierOption) xkb_state_update_key(state, 100 + 8, XKB_KEY_DOWN);
  KeyResult result{xkb_state_key_get_one_sym(state, keycode), xkb_state_key_get_utf32(state, keycode)};
  xkb_state_unref(state);
  return result;
}

enum class Composed { kText, kPrefix, kNone };

Composed ReferenceCompose(xkb_compose_table* table, std::initializer_list<xkb_keysym_t> keys, std::u16string* text) {
  xkb_compose_state* state = xkb_compose_state_new(table, XKB_COMPOSE_STATE_NO_FLAGS);
  for (xkb_keysym_t k : keys) xkb_compose_state_feed(state, k);
  Composed result = Composed::kNone;
  switch (xkb_compose_state_get_status(state)) {
    case XKB_COMPOSE_COMPOSED: {
      char utf8[64];
      int n = xkb_compose_state_get_utf8(state, utf8, sizeof(utf8));
      *text = Utf16(std::string(utf8, n));
      result = Composed::kText;
      break;
    }
    case XKB_COMPOSE_COMPOSING:
      result = Composed::kPrefix;
      break;
    default:
      break;
  }
  xkb_compose_state_unref(state);
  return result;
}

// What a key types outside a dead state, by the reference.
std::u16string ExpectedText(const KeyResult& key) {
  if (key.code_point != 0) return Utf16(key.code_point);
  uint16_t code = UchrControlCodeForKeysym(key.keysym);
  return code == 0xFFFF ? u"" : std::u16string(1, static_cast<char16_t>(code));
}

constexpr uint32_t kKeyboardTypes[] = {45, 46, 47};

struct KeyUnderTest {
  uint32_t usage;
  uint32_t keycode;
  uint32_t modifiers;
  KeyResult reference;
  bool dead;
};

class CompiledLayoutTest : public ::testing::TestWithParam<UchrStandardLayout>, public LoggedTest {
 protected:
  void SetUp() override {
    REQUIRE_TOOL(std::ifstream(kComposeFile).good(), "the X11 compose table (libx11-data) is missing");
    UchrLayout layout;
    std::string error;
    UchrXkbSource source{GetParam().xkb_layout, ""};
    ASSERT_TRUE(CompileUchrFromXkb(source, &layout, &error)) << error;
    bytes = LayoutBytes(layout);
    ASSERT_FALSE(bytes.empty());
    ref.context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
    xkb_rule_names names{"evdev", "pc105", GetParam().xkb_layout, "", ""};
    ref.keymap = xkb_keymap_new_from_names(ref.context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    ASSERT_NE(ref.keymap, nullptr);
    FILE* file = std::fopen(kComposeFile, "r");
    ref.compose = xkb_compose_table_new_from_file(ref.context, file, "en_US.UTF-8", XKB_COMPOSE_FORMAT_TEXT_V1,
                                                  XKB_COMPOSE_COMPILE_NO_FLAGS);
    std::fclose(file);
    ASSERT_NE(ref.compose, nullptr);
    for (uint32_t modifiers : kUchrModifierCombinations) {
      for (uint32_t usage = 0; usage < 256; ++usage) {
        uint32_t keycode = XkbKeycodeForHidUsage(usage);
        if (keycode == 0 || UIVirtualKeyForUsage(usage, 46) == kUINoVirtualKey) continue;
        KeyResult r = ReferenceKey(ref.keymap, modifiers, keycode);
        std::u16string ignored;
        bool dead = r.keysym != XKB_KEY_Multi_key && r.keysym != XKB_KEY_NoSymbol &&
                    ReferenceCompose(ref.compose, {r.keysym}, &ignored) == Composed::kPrefix;
        keys.push_back({usage, keycode, modifiers, r, dead});
      }
    }
  }

  // The lowest usage of a virtual key speaks for it (insert and help share one).
  static bool OwnsVirtualKey(uint32_t usage, uint32_t type) {
    for (uint32_t earlier = 0; earlier < usage; ++earlier) {
      if (XkbKeycodeForHidUsage(earlier) != 0 &&
          UIVirtualKeyForUsage(earlier, type) == UIVirtualKeyForUsage(usage, type)) {
        return false;
      }
    }
    return true;
  }

  Typed Press(const KeyUnderTest& key, uint32_t type, UINT32 state, UINT32 extra_modifiers = 0) {
    return TranslateKey(bytes, UIVirtualKeyForUsage(key.usage, type), key.modifiers | extra_modifiers, state,
                        kEFIKeyActionDown, type);
  }

  std::vector<uint8_t> bytes;
  Reference ref;
  std::vector<KeyUnderTest> keys;
};

TEST_P(CompiledLayoutTest, EveryKeyUnderEveryModifierCombination) {
  size_t checked = 0;
  for (uint32_t type : kKeyboardTypes) {
    for (const KeyUnderTest& key : keys) {
      if (!OwnsVirtualKey(key.usage, type)) continue;
      for (UINT32 command : {0u, kEFIKeyModifierCommand}) {
        Typed typed = Press(key, type, 0, command);
        ASSERT_EQ(typed.result, 0);
        SCOPED_TRACE(testing::Message() << GetParam().xkb_layout << " type " << type << " usage 0x" << std::hex
                                        << key.usage << " modifiers 0x" << key.modifiers << " keysym 0x"
                                        << key.reference.keysym);
        if (key.dead) {
          EXPECT_EQ(typed.text, u"");
          EXPECT_NE(typed.state & 0xFFFF, 0u);
        } else {
          EXPECT_EQ(typed.text, ExpectedText(key.reference));
          EXPECT_EQ(typed.state & 0xFFFF, 0u);
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 3u * 2 * 16 * 48);  // at least the letter and digit rows everywhere
}

TEST_P(CompiledLayoutTest, DeadKeysFollowedByEveryKey) {
  size_t composed = 0;
  for (uint32_t type : kKeyboardTypes) {
    for (const KeyUnderTest& dead : keys) {
      if (!dead.dead) continue;
      std::u16string terminator;
      ReferenceCompose(ref.compose, {dead.reference.keysym, XKB_KEY_space}, &terminator);
      Typed pending = Press(dead, type, 0);
      ASSERT_EQ(pending.result, 0);
      // Without dead keys the terminator comes at once.
      Typed at_once = TranslateKey(bytes, UIVirtualKeyForUsage(dead.usage, type), dead.modifiers, 0,
                                   kEFIKeyActionDown, type, kEFIKeyTranslateNoDeadKeys);
      EXPECT_EQ(at_once.text, terminator);
      for (const KeyUnderTest& next : keys) {
        if (!OwnsVirtualKey(next.usage, type)) continue;
        if (next.reference.keysym == XKB_KEY_NoSymbol || xkb_keysym_to_utf32(next.reference.keysym) == 0) {
          if (!next.dead && UchrControlCodeForKeysym(next.reference.keysym) == 0xFFFF) continue;  // modifiers, F-keys
        }
        Typed typed = Press(next, type, pending.state);
        ASSERT_EQ(typed.result, 0);
        SCOPED_TRACE(testing::Message() << GetParam().xkb_layout << " type " << type << " dead keysym 0x" << std::hex
                                        << dead.reference.keysym << " then usage 0x" << next.usage << " modifiers 0x"
                                        << next.modifiers << " keysym 0x" << next.reference.keysym);
        std::u16string text;
        switch (ReferenceCompose(ref.compose, {dead.reference.keysym, next.reference.keysym}, &text)) {
          case Composed::kText:
            EXPECT_EQ(typed.text, text);
            EXPECT_EQ(typed.state & 0xFFFF, 0u);
            ++composed;
            break;
          case Composed::kPrefix:
            break;  // chains of dead keys go one step only
          case Composed::kNone:
            // X11 drops the pair; the layout types the dead key's spacing form and the key.
            EXPECT_EQ(typed.text, terminator + (next.dead ? u"" : ExpectedText(next.reference)));
            EXPECT_EQ((typed.state & 0xFFFF) != 0, next.dead);
            break;
        }
      }
    }
  }
  if (GetParam().xkb_layout != std::string("us") && GetParam().xkb_layout != std::string("ru") &&
      GetParam().xkb_layout != std::string("jp")) {
    EXPECT_GT(composed, 0u) << "the layout has dead keys";
  }
}

TEST_P(CompiledLayoutTest, BuildOutputEqualsTheCompiler) {
  // What the build step wrote with hearthtool is what the compiler gives here.
  std::string path = std::string(HEARTH_TEST_LAYOUT_DIR) + "/" + GetParam().xkb_layout + ".uchr";
  std::ifstream in(path, std::ios::binary);
  REQUIRE_TOOL(in.good(), "the build's keyboard layouts are missing: " + path);
  std::vector<uint8_t> built((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(built, bytes);
}

INSTANTIATE_TEST_SUITE_P(XkbData, CompiledLayoutTest, ::testing::ValuesIn(kUchrStandardLayouts),
                         [](const auto& info) { return std::string(info.param.xkb_layout); });

}  // namespace
