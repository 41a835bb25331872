#include "tools/lib/uchr_writer.h"

#include <algorithm>

namespace {

constexpr uint16_t kHeaderFormat = 0x1002;
constexpr size_t kMaxRecords = 0x3FFF;

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}
void Patch32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t WriteModifiers(const UchrLayout& layout, std::vector<uint8_t>& out) {
  uint32_t at = static_cast<uint32_t>(out.size());
  Put16(out, 0x3001);
  Put16(out, layout.default_table);
  Put32(out, static_cast<uint32_t>(layout.modifier_tables.size()));
  out.insert(out.end(), layout.modifier_tables.begin(), layout.modifier_tables.end());
  if (out.size() % 2) out.push_back(0);
  return at;
}

uint32_t WriteKeyTables(const UchrLayout& layout, const UchrKeyboard& keyboard, std::vector<uint8_t>& out) {
  uint32_t at = static_cast<uint32_t>(out.size());
  Put16(out, 0x4001);
  Put16(out, layout.table_size);
  Put32(out, static_cast<uint32_t>(keyboard.tables.size()));
  size_t offsets = out.size();
  out.resize(out.size() + 4 * keyboard.tables.size());
  for (size_t i = 0; i < keyboard.tables.size(); ++i) {
    Patch32(out, offsets + 4 * i, static_cast<uint32_t>(out.size()));
    for (size_t key = 0; key < layout.table_size; ++key) {
      Put16(out, key < keyboard.tables[i].size() ? keyboard.tables[i][key] : 0xFFFF);
    }
  }
  return at;
}

uint32_t WriteStates(const UchrLayout& layout, std::vector<uint8_t>& out) {
  if (layout.states.empty()) return 0;
  uint32_t at = static_cast<uint32_t>(out.size());
  Put16(out, 0x5001);
  Put16(out, static_cast<uint32_t>(layout.states.size()));
  size_t offsets = out.size();
  out.resize(out.size() + 4 * layout.states.size());
  for (size_t i = 0; i < layout.states.size(); ++i) {
    const UchrStateRecord& record = layout.states[i];
    Patch32(out, offsets + 4 * i, static_cast<uint32_t>(out.size()));
    Put16(out, record.zero_output);
    Put16(out, record.zero_next);
    Put16(out, static_cast<uint32_t>(record.entries.size()));
    Put16(out, 1);  // terminal entries
    for (auto [state, output] : record.entries) {
      Put16(out, state);
      Put16(out, output);
    }
  }
  return at;
}

uint32_t WriteTerminators(const UchrLayout& layout, std::vector<uint8_t>& out) {
  if (layout.terminators.empty()) return 0;
  uint32_t at = static_cast<uint32_t>(out.size());
  Put16(out, 0x6001);
  Put16(out, static_cast<uint32_t>(layout.terminators.size()));
  for (uint16_t t : layout.terminators) Put16(out, t);
  return at;
}

// Sequence k runs from offset k to offset k + 1 (relative to the index), so the index
// holds one offset more than there are sequences.
uint32_t WriteSequences(const UchrLayout& layout, std::vector<uint8_t>& out, std::string* error) {
  if (layout.sequences.empty()) return 0;
  uint32_t at = static_cast<uint32_t>(out.size());
  Put16(out, 0x7001);
  Put16(out, static_cast<uint32_t>(layout.sequences.size()));
  size_t offset = 4 + 2 * (layout.sequences.size() + 1);
  for (const auto& sequence : layout.sequences) {
    Put16(out, static_cast<uint32_t>(offset));
    offset += 2 * sequence.size();
  }
  Put16(out, static_cast<uint32_t>(offset));
  if (offset > 0xFFFF) {
    *error = "character sequences exceed 64 KiB";
    return 0;
  }
  for (const auto& sequence : layout.sequences) {
    for (char16_t unit : sequence) Put16(out, unit);
  }
  return at;
}

}  // namespace

uint16_t UchrLayout::ValueForText(const std::u16string& text) {
  if (text.empty()) return 0xFFFF;
  if (text.size() == 1 && (text[0] < 0x4000 || (text[0] >= 0xC000 && text[0] < 0xFFFE))) return text[0];
  auto found = std::find(sequences.begin(), sequences.end(), text);
  size_t index = found - sequences.begin();
  if (found == sequences.end()) sequences.push_back(text);
  return SequenceValue(index);
}

size_t UchrLayout::AddState(const UchrStateRecord& record) {
  auto found = std::find(states.begin(), states.end(), record);
  if (found != states.end()) return found - states.begin();
  states.push_back(record);
  return states.size() - 1;
}

bool WriteUchr(const UchrLayout& layout, std::vector<uint8_t>* out, std::string* error) {
  if (layout.keyboards.empty()) {
    *error = "a layout needs at least one keyboard";
    return false;
  }
  if (layout.states.size() > kMaxRecords || layout.sequences.size() > kMaxRecords ||
      layout.terminators.size() > 0xFFFF) {
    *error = "more than 16383 state records or sequences";
    return false;
  }
  out->clear();
  Put16(*out, kHeaderFormat);
  Put16(*out, 0);  // data version
  Put32(*out, 0);  // no feature information
  Put32(*out, static_cast<uint32_t>(layout.keyboards.size()));
  size_t records = out->size();
  out->resize(out->size() + 28 * layout.keyboards.size());

  uint32_t modifiers = WriteModifiers(layout, *out);
  std::vector<uint32_t> key_tables;
  for (const auto& keyboard : layout.keyboards) key_tables.push_back(WriteKeyTables(layout, keyboard, *out));
  uint32_t states = WriteStates(layout, *out);
  uint32_t terminators = WriteTerminators(layout, *out);
  std::string sequence_error;
  uint32_t sequences = WriteSequences(layout, *out, &sequence_error);
  if (!sequence_error.empty()) {
    *error = sequence_error;
    return false;
  }
  for (size_t i = 0; i < layout.keyboards.size(); ++i) {
    size_t at = records + 28 * i;
    uint32_t fields[7] = {layout.keyboards[i].first_type, layout.keyboards[i].last_type, modifiers, key_tables[i],
                          states, terminators, sequences};
    for (int f = 0; f < 7; ++f) Patch32(*out, at + 4 * f, fields[f]);
  }
  return true;
}
