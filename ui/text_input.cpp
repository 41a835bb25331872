#include "ui/text_input.h"

#include "diag/log.h"
#include "lib/mem.h"
#include "memory/memory.h"

namespace {

// Codes the layouts give editing keys.
constexpr CHAR16 kBackspace = 8;
constexpr CHAR16 kLeftArrow = 28;
constexpr CHAR16 kRightArrow = 29;
constexpr CHAR16 kUpArrow = 30;    // start of the text
constexpr CHAR16 kDownArrow = 31;  // end of the text
constexpr UINTN kTranslateUnits = 16;

bool IsHighSurrogate(CHAR16 unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(CHAR16 unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Units the character before position takes (2 for a surrogate pair).
UINT32 UnitsBefore(const CHAR16* text, UINT32 position) {
  if (position >= 2 && IsLowSurrogate(text[position - 1]) && IsHighSurrogate(text[position - 2])) return 2;
  return position > 0 ? 1 : 0;
}

UINT32 UnitsAfter(const CHAR16* text, UINT32 position) {
  if (text[position] == 0) return 0;
  if (IsHighSurrogate(text[position]) && IsLowSurrogate(text[position + 1])) return 2;
  return 1;
}

void DeleteBeforeCursor(EFITextInput* input) {
  UINT32 units = UnitsBefore(input->text, input->cursor);
  UINTN length = EFITextInputLength(input);
  UINT32 from = input->cursor;
  MemCopy(&input->text[from - units], &input->text[from], (length - from + 1) * sizeof(CHAR16));
  input->text[length - units] = 0;
  input->cursor -= units;
}

// Editing codes move the cursor; other control codes are dropped; text is inserted.
void ApplyUnit(EFITextInput* input, CHAR16 unit) {
  switch (unit) {
    case kLeftArrow:
      input->cursor -= UnitsBefore(input->text, input->cursor);
      return;
    case kRightArrow:
      input->cursor += UnitsAfter(input->text, input->cursor);
      return;
    case kUpArrow:
      input->cursor = 0;
      return;
    case kDownArrow:
      input->cursor = static_cast<UINT32>(EFITextInputLength(input));
      return;
    default:
      break;
  }
  // A NUL from a layout would end the text before the cursor.
  if (unit == 0 || IsNonPrintingCharacter(unit)) return;
  EFITextInputInsert(input, &unit, 1);
}

}  // namespace

EFITextInput* EFITextInputCreate() { return static_cast<EFITextInput*>(PoolAllocateZero(sizeof(EFITextInput))); }

void EFITextInputDestroy(EFITextInput* input) {
  if (input != nullptr) PoolFreeSecret(input, sizeof(EFITextInput));
}

void EFITextInputClear(EFITextInput* input) { SecureZero(input, sizeof(EFITextInput)); }

UINTN EFITextInputLength(const EFITextInput* input) {
  UINTN length = 0;
  while (length < kEFITextInputUnits - 1 && input->text[length] != 0) ++length;
  return length;
}

INT32 EFITextInputInsert(EFITextInput* input, const CHAR16* units, UINTN count) {
  UINTN length = EFITextInputLength(input);
  if (input->cursor > length || count > kEFITextInputMaxLength || length + count > kEFITextInputMaxLength) return -1;
  for (UINTN i = 0; i < count; ++i) {
    if (units[i] == 0) return -1;  // the text would end inside the insertion
  }
  UINT32 at = input->cursor;
  MemCopy(&input->text[at + count], &input->text[at], (length - at) * sizeof(CHAR16));
  MemCopy(&input->text[at], units, count * sizeof(CHAR16));
  input->text[length + count] = 0;
  input->cursor = static_cast<UINT32>(at + count);
  return 0;
}

INT32 EFITextInputAppend(EFITextInput* input, const EFIKeyLayout* layout, UINT16 key_code, UINT32 modifier_state,
                         UINT32 keyboard_type) {
  if (layout == nullptr) {
    LogMessage(kLogCategoryError, "**** ERROR EFITextInputAppend: layout is NULL: Impossible to append any input!\n");
    return -1;
  }
  CHAR16 produced[kTranslateUnits];
  UINTN count = 0;
  INT32 result = EFIKeyTranslate(layout, key_code, kEFIKeyActionDown, modifier_state, keyboard_type, 0,
                                 &input->dead_key_state, kTranslateUnits, &count, produced);
  if (result != 0) {
    LogMessage(kLogCategoryError, "**** ERROR EFITextInputAppend: EFIKeyTranslate returned %d\n", result);
    SecureZero(produced, sizeof(produced));
    return -1;
  }
  if (count == 0) return 0;
  if (produced[count - 1] == kBackspace) {
    if (count == 1 && input->cursor != 0) DeleteBeforeCursor(input);
  } else if (count == 1) {
    if (input->cursor <= kEFITextInputMaxLength) ApplyUnit(input, produced[0]);
  } else {
    // A dead key's terminator with the next key, or a sequence: the text as typed, so that
    // nothing the user typed is dropped.
    UINTN printable = 0;
    for (UINTN i = 0; i < count; ++i) {
      if (produced[i] != 0 && !IsNonPrintingCharacter(produced[i])) produced[printable++] = produced[i];
    }
    if (input->cursor <= kEFITextInputMaxLength) EFITextInputInsert(input, produced, printable);
  }
  SecureZero(produced, sizeof(produced));
  return 0;
}

UINTN EFITextInputCharacterCount(const CHAR16* text, UINTN limit) {
  UINTN characters = 0;
  for (UINTN i = 0; i < limit && text[i] != 0; ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < limit && IsLowSurrogate(text[i + 1])) ++i;
    ++characters;
  }
  return characters;
}

bool IsNonPrintingCharacter(CHAR16 unit) {
  switch (unit) {
    case 1: case 3: case 4: case 8: case 9: case 11: case 12: case 13:
    case 16: case 27: case 28: case 29: case 30: case 31: case 127:
      return true;
    default:
      return false;
  }
}
