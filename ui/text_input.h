// The text-input buffer the password field edits: UTF-16 text with a cursor and the
// dead-key state of the keys typed into it. It holds a secret, so it is wiped when cleared
// or destroyed.
#pragma once

#include "efi/types.h"
#include "ui/key_translate.h"

constexpr UINTN kEFITextInputUnits = 1026;
// At most this many units are ever held.
constexpr UINTN kEFITextInputMaxLength = 1023;

struct EFITextInput {
  CHAR16 text[kEFITextInputUnits];  // NUL-terminated
  UINT32 cursor;                    // index in units
  UINT32 dead_key_state;            // EFIKeyTranslate's state word
};
static_assert(sizeof(EFITextInput) == 2060, "the text-input buffer is 2060 bytes");

// A zeroed buffer from the pool; nullptr when memory runs out.
EFITextInput* EFITextInputCreate();
// Wipes and frees the buffer (nullptr is ignored).
void EFITextInputDestroy(EFITextInput* input);
// Wipes the text, the cursor and the dead-key state.
void EFITextInputClear(EFITextInput* input);

// Inserts count units at the cursor and advances it. Returns 0, or -1 when the text would
// grow beyond kEFITextInputMaxLength units or the units hold a NUL (nothing is inserted).
INT32 EFITextInputInsert(EFITextInput* input, const CHAR16* units, UINTN count);

// Applies one key-down to the buffer: text is inserted at the cursor, backspace deletes the
// character before it, the arrow codes move it. Returns 0, or -1 (logged) when the key
// could not be translated.
INT32 EFITextInputAppend(EFITextInput* input, const EFIKeyLayout* layout, UINT16 key_code, UINT32 modifier_state,
                         UINT32 keyboard_type);

// Characters (a surrogate pair counts as one) up to the NUL or limit units.
UINTN EFITextInputCharacterCount(const CHAR16* text, UINTN limit);

// Control codes a layout produces for editing keys rather than text.
bool IsNonPrintingCharacter(CHAR16 unit);

// Units of text before the NUL.
UINTN EFITextInputLength(const EFITextInput* input);
