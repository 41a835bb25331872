// Writes keyboard layouts in the 'uchr' format (docs/keyboard-layouts.md) from a plain
// description: key tables per modifier combination, dead-key state records, terminators
// and character sequences.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct UchrStateRecord {
  uint16_t zero_output = 0xFFFF;  // output outside any dead state
  uint16_t zero_next = 0;         // dead state the key enters (0 = none)
  std::vector<std::pair<uint16_t, uint16_t>> entries;  // {dead state, output}, sorted by state
  bool operator==(const UchrStateRecord&) const = default;
};

// One set of key tables, used by a range of keyboard types.
struct UchrKeyboard {
  uint32_t first_type = 0;
  uint32_t last_type = 0;
  std::vector<std::vector<uint16_t>> tables;  // key output values, one table per modifier combination
};

struct UchrLayout {
  std::vector<uint8_t> modifier_tables;  // table number for each modifier byte value
  uint16_t default_table = 0;
  uint16_t table_size = 128;             // key codes per table
  std::vector<UchrKeyboard> keyboards;   // the first is the default
  std::vector<UchrStateRecord> states;
  std::vector<uint16_t> terminators;     // output of dead state s at s - 1
  std::vector<std::u16string> sequences;

  // Key output values for a character, a state record and a sequence.
  static uint16_t StateValue(size_t index) { return static_cast<uint16_t>(0x4000 | index); }
  static uint16_t SequenceValue(size_t index) { return static_cast<uint16_t>(0x8000 | index); }
  // The value that yields text: the unit itself when it cannot be mistaken for a record or
  // sequence reference, otherwise a (shared) sequence.
  uint16_t ValueForText(const std::u16string& text);
  // The index of an equal state record, added when new.
  size_t AddState(const UchrStateRecord& record);
};

// The layout's bytes; false with a reason when a count or offset does not fit its field.
bool WriteUchr(const UchrLayout& layout, std::vector<uint8_t>* out, std::string* error);
