#include "ui/key_translate.h"

#include "diag/log.h"
#include "lib/mem.h"
#include "lib/span.h"

namespace {

constexpr UINT16 kNoOutput = 0xFFFF;
// Modifier tables further out than this are suspicious in a real layout, though legal.
constexpr UINT32 kModifierOffsetLimit = 16385;

bool IsStateRecord(UINT16 value) { return value >= 0x4000 && value < 0x8000; }
bool IsSequence(UINT16 value) { return value >= 0x8000 && value < 0xC000; }

void LogCorrupt(const char* format, UINT32 value) {
  LogMessage(kLogCategoryError, format, value);
}

// The tables one translation reads, and the output it appends to.
struct Translation {
  ByteSpan layout;
  UINT32 state_records_offset;
  UINT32 terminators_offset;
  UINT32 sequences_offset;
  CHAR16* output;
  UINTN max_length;
  UINTN* length;

  bool Append(UINT16 unit) {
    if (*length >= max_length) return false;
    output[(*length)++] = unit;
    return true;
  }

  bool EmitSequence(UINT16 value) {
    ByteSpan& s = layout;
    UINT16 format = 0, count = 0;
    if (!s.ReadLe16(sequences_offset, &format) || format != kUchrSequencesFormat) {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, keySequenceDataIndexFormat %04X\n", format);
      return false;
    }
    if (!s.ReadLe16(sequences_offset + 2, &count)) return false;
    UINT32 index = value & 0x3FFF;
    if (index >= count) return Append(value);
    UINT16 start = 0, end = 0;
    UINTN at = static_cast<UINTN>(sequences_offset) + 4 + 2 * index;
    if (!s.ReadLe16(at, &start) || !s.ReadLe16(at + 2, &end) || end < start) {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, sequence %04X out of bounds\n", index);
      return false;
    }
    for (UINTN i = start; i < end; i += 2) {
      UINT16 unit = 0;
      if (!s.ReadLe16(static_cast<UINTN>(sequences_offset) + i, &unit)) {
        LogCorrupt("EFIKeyTranslate - uchr may be corrupt, sequence %04X out of bounds\n", index);
        return false;
      }
      if (!Append(unit)) return false;
    }
    return true;
  }

  bool Emit(UINT16 value) {
    if (IsSequence(value) && sequences_offset != 0) return EmitSequence(value);
    if (value >= 0xFFFE) return true;
    return Append(value);
  }

  bool EmitTerminator(UINT32 state) {
    if (terminators_offset == 0) return true;
    UINT16 format = 0, count = 0;
    if (!layout.ReadLe16(terminators_offset, &format) || format != kUchrTerminatorsFormat) {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, keyStateTerminatorsFormat %04X\n", format);
      return false;
    }
    if (!layout.ReadLe16(terminators_offset + 2, &count)) return false;
    if (state == 0 || state > count) return true;
    UINT16 terminator = 0;
    if (!layout.ReadLe16(static_cast<UINTN>(terminators_offset) + 4 + 2 * (state - 1), &terminator)) {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, terminator %04X out of bounds\n", state);
      return false;
    }
    return Emit(terminator);
  }
};

// Picks the keyboard-type record: types 31 to 193 fold onto 204..206; the first record is
// the default and the others are searched for a range that holds the type.
bool FindKeyboardRecord(ByteSpan layout, UINT32 count, UINT32 keyboard_type, UINTN* record) {
  if (keyboard_type >= 31 && keyboard_type <= 193) keyboard_type = 204 + (keyboard_type - 1) % 3;
  *record = kUchrHeaderSize;
  for (UINT32 i = 1; i < count; ++i) {
    UINTN at = kUchrHeaderSize + static_cast<UINTN>(i) * kUchrKeyboardRecordSize;
    UINT32 first = 0, last = 0;
    if (!layout.ReadLe32(at, &first) || !layout.ReadLe32(at + 4, &last)) return false;
    if (first <= keyboard_type && keyboard_type <= last) {
      *record = at;
      return true;
    }
  }
  return layout.Contains(*record, kUchrKeyboardRecordSize);
}

// The key's output value for the table the modifiers select; kNoOutput when the key or the
// table is out of range. False for a corrupt table.
bool LookUpKeyOutput(ByteSpan layout, UINT32 modifiers_offset, UINT32 char_index_offset, UINT16 key_code,
                     UINT32 modifier_state, UINT16* output) {
  if (modifiers_offset >= kModifierOffsetLimit) {
    LogMessage(kLogCategoryError,
               "EFIKeyTranslate - uchr may be corrupt, keyLayoutPtr %08lX, keyModsToTableNumPtr %08lX, "
               "keyModifiersToTableNumOffset %08X\n",
               reinterpret_cast<UINT64>(layout.data()), reinterpret_cast<UINT64>(layout.data()) + modifiers_offset,
               modifiers_offset);
  }
  UINT16 format = 0, default_table = 0;
  UINT32 combinations = 0;
  if (!layout.ReadLe16(modifiers_offset, &format) || format != kUchrModifiersFormat ||
      !layout.ReadLe16(modifiers_offset + 2, &default_table) || !layout.ReadLe32(modifiers_offset + 4, &combinations)) {
    LogCorrupt("EFIKeyTranslate - uchr may be corrupt, keyModifiersToTableNumFormat %04X\n", format);
    return false;
  }
  UINT32 table = default_table;
  UINT32 modifier_byte = modifier_state & 0xFF;
  if (modifier_byte < combinations) {
    UINT8 number = 0;
    if (!layout.ReadU8(static_cast<UINTN>(modifiers_offset) + 8 + modifier_byte, &number)) {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, modifier table %08X out of bounds\n", modifiers_offset);
      return false;
    }
    table = number;
  }
  UINT16 table_size = 0;
  UINT32 table_count = 0;
  format = 0;
  if (!layout.ReadLe16(char_index_offset, &format) || format != kUchrCharTableIndexFormat ||
      !layout.ReadLe16(char_index_offset + 2, &table_size) || !layout.ReadLe32(char_index_offset + 4, &table_count)) {
    LogCorrupt("EFIKeyTranslate - uchr may be corrupt, keyToCharTableIndexFormat %04X\n", format);
    return false;
  }
  *output = kNoOutput;
  if (key_code >= table_size || table >= table_count) return true;
  UINT32 table_offset = 0;
  if (!layout.ReadLe32(static_cast<UINTN>(char_index_offset) + 8 + 4 * static_cast<UINTN>(table), &table_offset) ||
      !layout.ReadLe16(static_cast<UINTN>(table_offset) + 2 * static_cast<UINTN>(key_code), output)) {
    LogCorrupt("EFIKeyTranslate - uchr may be corrupt, key table %08X out of bounds\n", table);
    return false;
  }
  return true;
}

struct StateRecord {
  UINT16 zero_output;
  UINT16 zero_next;
  UINT16 entry_count;
  UINT16 entry_format;
  UINTN entries;  // offset of the first entry
};

bool ReadStateRecord(ByteSpan layout, UINT32 index_offset, UINT32 index, StateRecord* record) {
  if (index_offset == 0) {
    LogMessage(kLogCategoryError, "EFIKeyTranslate - uchr may be corrupt, keyStateRecordsIndexOffset 0\n");
    return false;
  }
  UINT16 format = 0, count = 0;
  if (!layout.ReadLe16(index_offset, &format) || format != kUchrStateRecordsFormat) {
    LogCorrupt("EFIKeyTranslate - uchr may be corrupt, keyStateRecordsIndexFormat %04X\n", format);
    return false;
  }
  if (!layout.ReadLe16(index_offset + 2, &count)) return false;
  if (index >= count) {
    LogMessage(kLogCategoryError,
               "EFIKeyTranslate - uchr may be corrupt, stateRecordIndex %04X >= keyStateRecordCount %04X\n", index,
               count);
    return false;
  }
  UINT32 at = 0;
  if (!layout.ReadLe32(static_cast<UINTN>(index_offset) + 4 + 4 * static_cast<UINTN>(index), &at) ||
      !layout.ReadLe16(at, &record->zero_output) || !layout.ReadLe16(static_cast<UINTN>(at) + 2, &record->zero_next) ||
      !layout.ReadLe16(static_cast<UINTN>(at) + 4, &record->entry_count) ||
      !layout.ReadLe16(static_cast<UINTN>(at) + 6, &record->entry_format)) {
    LogCorrupt("EFIKeyTranslate - uchr may be corrupt, state record %04X out of bounds\n", index);
    return false;
  }
  record->entries = static_cast<UINTN>(at) + 8;
  return true;
}

enum class Match { kFound, kNone, kCorrupt };

// Terminal entries: {state, output}, sorted by state.
Match FindTerminalEntry(ByteSpan layout, const StateRecord& record, UINT32 state, UINT16* output) {
  for (UINT32 i = 0; i < record.entry_count; ++i) {
    UINT16 entry_state = 0;
    UINTN at = record.entries + 4 * static_cast<UINTN>(i);
    if (!layout.ReadLe16(at, &entry_state) || !layout.ReadLe16(at + 2, output)) return Match::kCorrupt;
    if (entry_state == state) return Match::kFound;
    if (entry_state > state) break;
  }
  return Match::kNone;
}

// Range entries: {first state, range, delta multiplier, output, next state}.
Match FindRangeEntry(ByteSpan layout, const StateRecord& record, UINT32 state, UINT16* output, UINT32* next) {
  for (UINT32 i = 0; i < record.entry_count; ++i) {
    UINTN at = record.entries + 8 * static_cast<UINTN>(i);
    UINT16 first = 0, entry_output = 0, entry_next = 0;
    UINT8 range = 0, multiplier = 0;
    if (!layout.ReadLe16(at, &first) || !layout.ReadU8(at + 2, &range) || !layout.ReadU8(at + 3, &multiplier) ||
        !layout.ReadLe16(at + 4, &entry_output) || !layout.ReadLe16(at + 6, &entry_next)) {
      return Match::kCorrupt;
    }
    if (state < first) break;
    if (state > static_cast<UINT32>(first) + range) continue;
    UINT32 delta = multiplier * (state - first);
    *output = entry_output >= 0xFFFE ? entry_output : static_cast<UINT16>(entry_output + delta);
    *next = entry_next == 0 ? 0 : static_cast<UINT16>(entry_next + delta);
    return Match::kFound;
  }
  return Match::kNone;
}

}  // namespace

namespace {

struct KeyEvent {
  UINT16 action;
  bool dead_keys_allowed;
  UINT32 current;  // dead state in effect
  UINT32 held;     // what the high half keeps
  UINT32 low;      // low half of the caller's state word
};

// A key whose output is a state record. Returns 0 or -1 and the new state word.
INT32 TranslateStateRecord(Translation& t, const KeyEvent& key, UINT32 record_index, UINT32* state_word) {
  StateRecord record;
  if (!ReadStateRecord(t.layout, t.state_records_offset, record_index, &record)) return -1;
  bool enter = key.action != kEFIKeyActionUp && key.dead_keys_allowed;
  bool display = key.action == kEFIKeyActionDisplay;
  UINT32 new_state = 0;
  bool ok = true;
  if (key.current == 0) {
    ok = t.Emit(record.zero_output);
    new_state = enter ? record.zero_next : key.low;
    if (ok && (display || !enter)) ok = t.EmitTerminator(record.zero_next);
  } else {
    UINT16 output = kNoOutput;
    UINT32 next = 0;
    Match match;
    if (record.entry_format == 1) {
      match = FindTerminalEntry(t.layout, record, key.current, &output);
    } else if (record.entry_format == 2) {
      match = FindRangeEntry(t.layout, record, key.current, &output, &next);
    } else {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, invalid stateEntryFormat %04X\n", record.entry_format);
      return -1;
    }
    if (match == Match::kCorrupt) {
      LogCorrupt("EFIKeyTranslate - uchr may be corrupt, state record %04X out of bounds\n", record_index);
      return -1;
    }
    if (match == Match::kNone) {
      if (!display) ok = t.EmitTerminator(key.current);
      if (ok) ok = t.Emit(record.zero_output);
      if (!ok) return -1;
      *state_word = enter ? record.zero_next : 0;
      return 0;
    }
    ok = t.Emit(output);
    new_state = enter ? next : 0;
    if (ok && record.entry_format == 2 && (display || key.action == kEFIKeyActionUp || !key.dead_keys_allowed)) {
      ok = t.EmitTerminator(next);
    }
  }
  if (!ok) return -1;
  UINT32 held = (display && new_state == 0) ? 0x8000 : key.held;
  *state_word = (new_state & 0xFFFF) | (held << 16);
  return 0;
}

}  // namespace

INT32 EFIKeyTranslate(const EFIKeyLayout* layout, UINT16 key_code, UINT16 key_action, UINT32 modifier_state,
                      UINT32 keyboard_type, UINT32 options, UINT32* dead_key_state, UINTN max_length,
                      UINTN* actual_length, CHAR16* output) {
  UINT16 format = 0;
  UINT32 type_count = 0;
  ByteSpan span = layout != nullptr ? ByteSpan(layout->data, layout->data ? layout->size : 0) : ByteSpan();
  if (layout == nullptr || !span.ReadLe16(0, &format) || format != kUchrHeaderFormat ||
      !span.ReadLe32(8, &type_count) || type_count == 0 || key_action > kEFIKeyActionDisplay ||
      dead_key_state == nullptr || actual_length == nullptr || output == nullptr) {
    LogMessage(kLogCategoryError, "**** ERROR: EFIKeyTranslate invoked with invalid arguments\n");
    return -1;
  }
  *actual_length = 0;

  UINT32 word = *dead_key_state;
  KeyEvent key;
  key.action = key_action;
  key.dead_keys_allowed = (options & kEFIKeyTranslateNoDeadKeys) == 0;
  key.low = word & 0xFFFF;
  key.current = key_action == kEFIKeyActionAutoKey ? word >> 16 : key.low;
  key.held = key_action == kEFIKeyActionAutoKey ? word >> 16 : key_action == kEFIKeyActionDown ? key.low : 0;
  UINT32 unchanged = key.low | (key.held << 16);

  UINTN record = 0;
  if (!FindKeyboardRecord(span, type_count, keyboard_type, &record)) {
    LogMessage(kLogCategoryError, "EFIKeyTranslate - uchr may be corrupt, keyboard type records out of bounds\n");
    return -1;
  }
  UINT32 modifiers_offset = 0, char_index_offset = 0;
  Translation t{span, 0, 0, 0, output, max_length, actual_length};
  span.ReadLe32(record + 8, &modifiers_offset);
  span.ReadLe32(record + 12, &char_index_offset);
  span.ReadLe32(record + 16, &t.state_records_offset);
  span.ReadLe32(record + 20, &t.terminators_offset);
  span.ReadLe32(record + 24, &t.sequences_offset);

  UINT16 key_output = kNoOutput;
  if (!LookUpKeyOutput(span, modifiers_offset, char_index_offset, key_code, modifier_state, &key_output)) {
    *dead_key_state = unchanged;
    return -1;
  }

  if (IsStateRecord(key_output)) {
    UINT32 new_word = 0;
    if (TranslateStateRecord(t, key, key_output & 0x3FFF, &new_word) != 0) {
      *dead_key_state = unchanged;
      return -1;
    }
    *dead_key_state = new_word;
    return 0;
  }

  if (key.current != 0 && key_action != kEFIKeyActionDisplay && !t.EmitTerminator(key.current)) {
    *dead_key_state = 0;
    return -1;
  }
  if (!t.Emit(key_output)) {
    *dead_key_state = unchanged;
    return -1;
  }
  *dead_key_state = key.current != 0 ? 0 : unchanged;
  return 0;
}

INT32 EFIConvertSingleVirtualKeyCode(const EFIKeyLayout* layout, UINT16 key_code, UINT32 modifier_state,
                                     UINT32 keyboard_type, CHAR16* output, UINTN buffer_length,
                                     UINTN* out_length) {
  if (output == nullptr) {
    LogMessage(kLogCategoryError, "**** ERROR EFIConvertSingleVirtualKeyCode: outBuffer is NULL\n");
    return -1;
  }
  if (out_length == nullptr) {
    LogMessage(kLogCategoryError, "**** ERROR EFIConvertSingleVirtualKeyCode: outLength is NULL\n");
    return -1;
  }
  MemZero(output, buffer_length * sizeof(CHAR16));
  UINT32 state = 0;
  INT32 result = EFIKeyTranslate(layout, key_code, kEFIKeyActionDown, modifier_state, keyboard_type, 0, &state,
                                 buffer_length, out_length, output);
  if (result != 0) {
    LogMessage(kLogCategoryError, "**** ERROR EFIConvertSingleVirtualKeyCode: EFIKeyTranslate returned %d\n", result);
  }
  return result;
}
