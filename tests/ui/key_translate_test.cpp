#include <gtest/gtest.h>

#include "lib/mem.h"
#include "tests/ui/layout_test_support.h"
#include "ui/key_translate.h"

namespace {

// Keys of the small layout below.
constexpr UINT16 kKeyA = 0;
constexpr UINT16 kKeyAcute = 1;   // dead key, state 1
constexpr UINT16 kKeyE = 2;       // composes with the acute
constexpr UINT16 kKeySpace = 3;   // composes to the spacing acute
constexpr UINT16 kKeyLong = 4;    // a character sequence
constexpr UINT16 kKeyHigh = 5;    // a unit that needs a sequence (U+4E2D)

// Two modifier tables (plain, shift), a second keyboard for the types that fold onto 205.
UchrLayout SmallLayout() {
  UchrLayout layout;
  layout.table_size = 8;
  layout.modifier_tables = {0, 0, 1, 1};  // command ignored, shift selects table 1
  layout.default_table = 0;
  UchrStateRecord acute{0xFFFF, 1, {{1, u'´'}}};
  UchrStateRecord e{u'e', 0, {{1, u'é'}}};
  UchrStateRecord space{u' ', 0, {{1, u'´'}}};
  UchrStateRecord upper_e{u'E', 0, {{1, u'É'}}};
  size_t acute_index = layout.AddState(acute), e_index = layout.AddState(e);
  size_t space_index = layout.AddState(space), upper_e_index = layout.AddState(upper_e);
  uint16_t long_value = layout.ValueForText(u"ab\U0001F600");
  uint16_t high_value = layout.ValueForText(u"\u4E2D");
  std::vector<uint16_t> plain = {u'a', UchrLayout::StateValue(acute_index), UchrLayout::StateValue(e_index),
                                 UchrLayout::StateValue(space_index), long_value, high_value, 0xFFFF, 0xFFFF};
  std::vector<uint16_t> shifted = plain;
  shifted[kKeyA] = u'A';
  shifted[kKeyE] = UchrLayout::StateValue(upper_e_index);
  std::vector<uint16_t> other = plain;
  other[kKeyA] = u'q';
  layout.keyboards = {UchrKeyboard{0, 255, {plain, shifted}}, UchrKeyboard{204, 204, {other, other}}};
  layout.terminators = {u'\''};
  return layout;
}

class KeyTranslateTest : public ::testing::Test, public LoggedTest {
 protected:
  std::vector<uint8_t> bytes = LayoutBytes(SmallLayout());
};

TEST_F(KeyTranslateTest, CharactersByModifierTableAndKeyboardType) {
  struct Case {
    UINT16 key;
    UINT32 modifiers;
    UINT32 type;
    std::u16string text;
  } cases[] = {
      {kKeyA, 0, 0, u"a"},
      {kKeyA, kEFIKeyModifierShift, 0, u"A"},
      {kKeyA, kEFIKeyModifierShift | kEFIKeyModifierCommand, 0, u"A"},
      {kKeyA, 0x80, 0, u"a"},     // beyond the modifier table: the default table
      {kKeyA, 0x102, 0, u"A"},    // only the low byte counts
      {kKeyA, 0, 40, u"q"},       // 40 folds onto 204 + (39 mod 3) = 204
      {kKeyA, 0, 46, u"q"},       // 46 folds onto 204 too
      {kKeyA, 0, 47, u"a"},       // 205: no record, the first one
      {kKeyA, 0, 204, u"q"},
      {kKeyLong, 0, 0, u"ab\U0001F600"},
      {kKeyHigh, 0, 0, u"\u4E2D"},
      {6, 0, 0, u""},             // 0xFFFF gives nothing
      {8, 0, 0, u""},             // beyond the table size
      {500, 0, 0, u""},
  };
  for (const Case& c : cases) {
    Typed typed = TranslateKey(bytes, c.key, c.modifiers, 0, kEFIKeyActionDown, c.type);
    EXPECT_EQ(typed.result, 0) << c.key;
    EXPECT_EQ(typed.text, c.text) << "key " << c.key << " modifiers " << c.modifiers << " type " << c.type;
    EXPECT_EQ(typed.state, 0u);
  }
}

TEST_F(KeyTranslateTest, DeadKeyComposesOrEndsWithItsTerminator) {
  Typed dead = TranslateKey(bytes, kKeyAcute, 0, 0);
  EXPECT_EQ(dead.result, 0);
  EXPECT_EQ(dead.text, u"");
  EXPECT_EQ(dead.state, 1u);  // low half 1, saved half 0 (the state before the key)

  struct Case {
    UINT16 key;
    UINT32 modifiers;
    std::u16string text;
    UINT32 state;
  } cases[] = {
      {kKeyE, 0, u"é", 0},
      {kKeyE, kEFIKeyModifierShift, u"É", 0},
      {kKeySpace, 0, u"´", 0},
      {kKeyAcute, 0, u"´", 0},                // by itself
      {kKeyA, 0, u"'a", 0},                   // no entry: the terminator, then the key
      {kKeyLong, 0, u"'ab\U0001F600", 0},
  };
  for (const Case& c : cases) {
    Typed typed = TranslateKey(bytes, c.key, c.modifiers, dead.state);
    EXPECT_EQ(typed.result, 0);
    EXPECT_EQ(typed.text, c.text) << c.key;
    EXPECT_EQ(typed.state & 0xFFFF, c.state) << c.key;
  }
}

TEST_F(KeyTranslateTest, StateRecordWithoutMatchEmitsTerminatorThenStateZeroOutput) {
  // A state-record key (e) in a dead state it has no entry for: state 2 has no entries.
  UchrLayout layout = SmallLayout();
  layout.terminators.push_back(u'~');
  auto two = LayoutBytes(layout);
  Typed typed = TranslateKey(two, kKeyE, 0, 2);
  EXPECT_EQ(typed.result, 0);
  EXPECT_EQ(typed.text, u"~e");
  EXPECT_EQ(typed.state, 0u);
}

TEST_F(KeyTranslateTest, NoDeadKeysOptionAndKeyUpEmitTerminatorAtOnce) {
  Typed typed = TranslateKey(bytes, kKeyAcute, 0, 0, kEFIKeyActionDown, 0, kEFIKeyTranslateNoDeadKeys);
  EXPECT_EQ(typed.text, u"'");
  EXPECT_EQ(typed.state, 0u);
  typed = TranslateKey(bytes, kKeyAcute, 0, 0, kEFIKeyActionUp);
  EXPECT_EQ(typed.text, u"'");
  EXPECT_EQ(typed.state, 0u);
  // Display of a plain key.
  typed = TranslateKey(bytes, kKeyA, 0, 0, kEFIKeyActionDisplay);
  EXPECT_EQ(typed.text, u"a");
}

TEST_F(KeyTranslateTest, AutoRepeatUsesTheSavedState) {
  // Key-down of e in dead state 1 saved 1 in the high half; a repeat composes again.
  Typed down = TranslateKey(bytes, kKeyE, 0, 1);
  EXPECT_EQ(down.text, u"é");
  Typed repeat = TranslateKey(bytes, kKeyE, 0, 1u << 16, kEFIKeyActionAutoKey);
  EXPECT_EQ(repeat.text, u"é");
  EXPECT_EQ(repeat.state, 1u << 16);
}

TEST_F(KeyTranslateTest, OutputThatDoesNotFitFails) {
  Typed typed = TranslateKey(bytes, kKeyLong, 0, 0, kEFIKeyActionDown, 0, 0, 2);
  EXPECT_EQ(typed.result, -1);
  EXPECT_EQ(typed.text, u"ab");  // what fitted
  typed = TranslateKey(bytes, kKeyA, 0, 0, kEFIKeyActionDown, 0, 0, 0);
  EXPECT_EQ(typed.result, -1);
  // The terminator does not fit: the state word is cleared.
  typed = TranslateKey(bytes, kKeyHigh, 0, 1, kEFIKeyActionDown, 0, 0, 0);
  EXPECT_EQ(typed.result, -1);
  EXPECT_EQ(typed.state, 0u);
}

TEST_F(KeyTranslateTest, InvalidArgumentsAreRefused) {
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  CHAR16 out[8];
  UINTN length = 99;
  UINT32 state = 0;
  EXPECT_EQ(EFIKeyTranslate(&layout, 0, 4, 0, 0, 0, &state, 8, &length, out), -1);
  EXPECT_EQ(EFIKeyTranslate(&layout, 0, 0, 0, 0, 0, nullptr, 8, &length, out), -1);
  EXPECT_EQ(EFIKeyTranslate(&layout, 0, 0, 0, 0, 0, &state, 8, nullptr, out), -1);
  EXPECT_EQ(EFIKeyTranslate(&layout, 0, 0, 0, 0, 0, &state, 8, &length, nullptr), -1);
  EXPECT_EQ(EFIKeyTranslate(nullptr, 0, 0, 0, 0, 0, &state, 8, &length, out), -1);
  EFIKeyLayout short_layout{bytes.data(), 6};
  EXPECT_EQ(EFIKeyTranslate(&short_layout, 0, 0, 0, 0, 0, &state, 8, &length, out), -1);
  EXPECT_NE(LogText().find("**** ERROR: EFIKeyTranslate invoked with invalid arguments\n"), std::string::npos);
}

// Offsets of the fields the writer lays out for the small layout.
UINT32 RecordField(const std::vector<uint8_t>& b, int record, int field) {
  return LoadLe32(b.data() + kUchrHeaderSize + record * kUchrKeyboardRecordSize + 4 * field);
}

TEST_F(KeyTranslateTest, CorruptTablesFailWithTheirMessage) {
  struct Case {
    const char* name;
    int field;       // keyboard-record field whose table is damaged
    size_t delta;    // byte within that table
    uint8_t value;
    UINT16 key;
    UINT32 state;
    const char* message;
  } cases[] = {
      {"modifier format", 2, 0, 0x99, kKeyA, 0, "keyModifiersToTableNumFormat 3099"},
      {"char index format", 3, 1, 0x99, kKeyA, 0, "keyToCharTableIndexFormat 9901"},
      {"state index format", 4, 0, 0x99, kKeyE, 0, "keyStateRecordsIndexFormat 5099"},
      {"state record count", 4, 2, 0x01, kKeyE, 0, "stateRecordIndex"},
      {"terminator format", 5, 0, 0x99, kKeyA, 1, "keyStateTerminatorsFormat 6099"},
      {"sequence format", 6, 0, 0x99, kKeyLong, 0, "keySequenceDataIndexFormat 7099"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> damaged = bytes;
    UINT32 table = RecordField(damaged, 0, c.field);
    ASSERT_NE(table, 0u) << c.name;
    damaged[table + c.delta] = c.value;
    Typed typed = TranslateKey(damaged, c.key, 0, c.state);
    EXPECT_EQ(typed.result, -1) << c.name;
    EXPECT_NE(LogText().find(c.message), std::string::npos) << c.name << "\n" << LogText();
  }
}

TEST_F(KeyTranslateTest, OffsetsOutsideTheLayoutNeverReadOutside) {
  // Every 32-bit field pointed far away, one at a time, and the layout cut at every length:
  // the translation fails or succeeds but reads only inside the copy (ASan watches).
  for (size_t at = 0; at + 4 <= bytes.size(); at += 2) {
    std::vector<uint8_t> damaged = bytes;
    StoreLe32(damaged.data() + at, 0xFFFFFFF0u);
    for (UINT16 key : {kKeyA, kKeyAcute, kKeyE, kKeyLong}) {
      for (UINT32 state : {0u, 1u}) TranslateKey(damaged, key, 0, state);
    }
  }
  for (size_t size = 0; size < bytes.size(); ++size) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + size);
    for (UINT16 key : {kKeyA, kKeyAcute, kKeyE, kKeyLong}) {
      for (UINT32 state : {0u, 1u}) TranslateKey(cut, key, 0, state);
    }
  }
}

TEST_F(KeyTranslateTest, RangeEntriesStepThroughStates) {
  // Hand-written: one key whose record holds a range entry over states 1..3 with
  // multiplier 2: output 'a' + 2 (s - 1), next state 10 + 2 (s - 1).
  std::vector<uint8_t> b(200, 0);
  auto put16 = [&](size_t at, uint16_t v) { b[at] = v & 0xFF; b[at + 1] = v >> 8; };
  auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
  put16(0, 0x1002);
  put32(8, 1);
  put32(12, 0); put32(16, 0); put32(20, 40); put32(24, 60); put32(28, 80); put32(32, 0); put32(36, 0);
  put16(40, 0x3001); put16(42, 0); put32(44, 1); b[48] = 0;                  // modifiers
  put16(60, 0x4001); put16(62, 1); put32(64, 1); put32(68, 72); put16(72, 0x4000);  // one key
  put16(80, 0x5001); put16(82, 1); put32(84, 100);                           // state index
  put16(100, u'x'); put16(102, 0); put16(104, 1); put16(106, 2);             // record
  put16(108, 1); b[110] = 2; b[111] = 2; put16(112, u'a'); put16(114, 10);   // range entry
  for (UINT32 s = 1; s <= 3; ++s) {
    Typed typed = TranslateKey(b, 0, 0, s);
    EXPECT_EQ(typed.result, 0);
    EXPECT_EQ(typed.text, std::u16string(1, static_cast<char16_t>(u'a' + 2 * (s - 1)))) << s;
    EXPECT_EQ(typed.state & 0xFFFF, 10 + 2 * (s - 1)) << s;
  }
  // State 4 is outside the range: no terminators table, so the state-zero output.
  Typed typed = TranslateKey(b, 0, 0, 4);
  EXPECT_EQ(typed.text, u"x");
  // An unknown entry format.
  put16(106, 3);
  typed = TranslateKey(b, 0, 0, 1);
  EXPECT_EQ(typed.result, -1);
  EXPECT_NE(LogText().find("invalid stateEntryFormat 0003"), std::string::npos);
}

TEST_F(KeyTranslateTest, ConvertSingleVirtualKeyCode) {
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  CHAR16 out[4] = {1, 1, 1, 1};
  UINTN length = 0;
  EXPECT_EQ(EFIConvertSingleVirtualKeyCode(&layout, kKeyA, kEFIKeyModifierShift, 0, out, 4, &length), 0);
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(out[0], u'A');
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(EFIConvertSingleVirtualKeyCode(&layout, kKeyA, 0, 0, nullptr, 4, &length), -1);
  EXPECT_EQ(EFIConvertSingleVirtualKeyCode(&layout, kKeyA, 0, 0, out, 4, nullptr), -1);
  EXPECT_NE(LogText().find("outBuffer is NULL"), std::string::npos);
  EXPECT_NE(LogText().find("outLength is NULL"), std::string::npos);
}

}  // namespace
