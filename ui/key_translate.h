// Translation of one key event through a keyboard layout in the 'uchr' format, with
// dead-key composition. The layout comes from outside (a resource archive), so it is held
// as a span and every table is checked against it before use; a corrupt layout gives -1,
// never a read outside it. The format is described in docs/keyboard-layouts.md.
#pragma once

#include "efi/types.h"

// A 'uchr' layout and its length in bytes.
struct EFIKeyLayout {
  const UINT8* data;
  UINTN size;
};

// Key actions.
constexpr UINT16 kEFIKeyActionDown = 0;
constexpr UINT16 kEFIKeyActionUp = 1;
constexpr UINT16 kEFIKeyActionAutoKey = 2;
constexpr UINT16 kEFIKeyActionDisplay = 3;

// Options: dead keys give their terminator at once and never enter a dead state.
constexpr UINT32 kEFIKeyTranslateNoDeadKeys = 0x1;

// Layout modifier byte: what the password field and the tools pass as the modifier state.
constexpr UINT32 kEFIKeyModifierCommand = 0x01;
constexpr UINT32 kEFIKeyModifierShift = 0x02;
constexpr UINT32 kEFIKeyModifierCapsLock = 0x04;
constexpr UINT32 kEFIKeyModifierOption = 0x08;
constexpr UINT32 kEFIKeyModifierControl = 0x10;

// Format codes of the layout's tables.
constexpr UINT16 kUchrHeaderFormat = 0x1002;
constexpr UINT16 kUchrModifiersFormat = 0x3001;
constexpr UINT16 kUchrCharTableIndexFormat = 0x4001;
constexpr UINT16 kUchrStateRecordsFormat = 0x5001;
constexpr UINT16 kUchrTerminatorsFormat = 0x6001;
constexpr UINT16 kUchrSequencesFormat = 0x7001;
// Sizes of the fixed parts.
constexpr UINTN kUchrHeaderSize = 12;
constexpr UINTN kUchrKeyboardRecordSize = 28;

// Translates one key event. dead_key_state holds the current dead state in its low half
// and the state saved at the last key-down (for auto-repeat) in its high half; the caller
// keeps it between calls. Up to max_length UTF-16 units go to output, their count to
// actual_length. Returns 0, or -1 for invalid arguments, a corrupt layout or an output
// buffer too small (actual_length may already hold what was produced).
INT32 EFIKeyTranslate(const EFIKeyLayout* layout, UINT16 key_code, UINT16 key_action, UINT32 modifier_state,
                      UINT32 keyboard_type, UINT32 options, UINT32* dead_key_state, UINTN max_length,
                      UINTN* actual_length, CHAR16* output);

// A key-down with a fresh dead-key state into a zeroed buffer. Returns 0 or -1 (logged).
INT32 EFIConvertSingleVirtualKeyCode(const EFIKeyLayout* layout, UINT16 key_code, UINT32 modifier_state,
                                     UINT32 keyboard_type, CHAR16* output, UINTN buffer_length,
                                     UINTN* out_length);
