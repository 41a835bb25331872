// Key handling of the password field: command-A, the three renderings, recovery keys.
#include "draw/log_error.h"
#include "ui/key_codes.h"
#include "ui/password_field.h"

namespace {

constexpr UINT32 kRenderingTypes[3] = {46, 47, 45};
// Keys are applied in this order of renderings: types 46, 45, 47.
constexpr UIPasswordRendering kApplyOrder[3] = {kUIRenderingType46, kUIRenderingType45, kUIRenderingType47};
constexpr CHAR16 kDash = u'-';
constexpr CHAR16 kBackspace = 8;
constexpr UINTN kRecoveryKeyCharacters = 29;  // six groups of four and five dashes

UINT32 LayoutModifiers(UINT8 hid, BOOLEAN caps_lock) {
  UINT32 m = 0;
  if (hid & kUIHidCommand) m |= kEFIKeyModifierCommand;
  if (hid & kUIHidShift) m |= kEFIKeyModifierShift;
  if (hid & kUIHidOption) m |= kEFIKeyModifierOption;
  if (hid & kUIHidLeftControl) m |= kEFIKeyModifierControl;
  if (caps_lock) m |= kEFIKeyModifierCapsLock;
  return m;
}

// The single unit a key types with a fresh dead-key state, or 0.
CHAR16 SingleUnit(const EFIKeyLayout* layout, UINT8 key, UINT32 modifiers, UINT32 type) {
  CHAR16 out[16];
  UINTN length = 0;
  if (key == kUINoVirtualKey ||
      EFIConvertSingleVirtualKeyCode(layout, key, modifiers, type, out, 16, &length) != 0 || length != 1) {
    return 0;
  }
  return out[0];
}

bool IsRecoveryKeyUnit(CHAR16 unit) {
  return unit == kDash || (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z');
}

void ApplyKey(UIPasswordTextField* field, EFITextInput* input, UINT32 firmware_key, UINT32 modifiers, UINT32 type) {
  UINT8 key = UIVirtualKeyForFirmwareKey(firmware_key, type);
  if (key == kUINoVirtualKey) return;
  bool recovery = (field->flags & kUIFieldRecoveryKey) != 0;
  CHAR16 unit = recovery ? SingleUnit(&field->layout, key, modifiers, type) : 0;
  // Dead keys would compose letters outside the key's alphabet.
  if (recovery && unit == 0) return;
  if (recovery && unit != 0 && !IsNonPrintingCharacter(unit)) {
    UINTN length = EFITextInputLength(input);
    bool second_dash = unit == kDash && length > 0 && input->text[length - 1] == kDash;
    if (second_dash || EFITextInputCharacterCount(input->text, kEFITextInputUnits) >= kRecoveryKeyCharacters ||
        !IsRecoveryKeyUnit(unit)) {
      return;
    }
  }
  CHAR16 before = input->cursor > 0 ? input->text[input->cursor - 1] : 0;
  EFITextInputAppend(input, &field->layout, key, modifiers, type);
  if (!recovery || input->cursor != EFITextInputLength(input)) return;
  if (unit == kBackspace) {
    // The dash went with the backspace: the character before it goes too.
    if (before == kDash) EFITextInputAppend(input, &field->layout, key, modifiers, type);
    return;
  }
  if (unit == kDash || IsNonPrintingCharacter(unit)) return;
  UINTN length = EFITextInputLength(input);
  if (length == 4 || length == 9 || length == 14 || length == 19 || length == 24) {
    EFITextInputInsert(input, &kDash, 1);
  }
}

}  // namespace

void UIPasswordTextFieldHandleKey(DUView* view, UINT32 firmware_key, UINT8 hid_modifiers, BOOLEAN caps_lock) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldHandleKey");
  if (field == nullptr) return;
  field->caps_lock = caps_lock;
  UINT32 modifiers = LayoutModifiers(hid_modifiers, caps_lock);
  if (modifiers & kEFIKeyModifierCommand) {
    constexpr UINT32 kTypes[3] = {46, 45, 47};
    for (UINT32 type : kTypes) {
      if (SingleUnit(&field->layout, UIVirtualKeyForFirmwareKey(firmware_key, type), modifiers, type) == u'a') {
        field->flags |= kUIFieldAllSelected;
        break;
      }
    }
    _UIPasswordTextFieldRedraw(field, TRUE);
    return;
  }
  if (field->flags & kUIFieldAllSelected) UIPasswordTextFieldZeroOut(view);
  EFITextInput* shown = field->inputs[kUIRenderingType46];
  UINTN before = EFITextInputCharacterCount(shown->text, kEFITextInputUnits);
  for (UIPasswordRendering r : kApplyOrder) ApplyKey(field, field->inputs[r], firmware_key, modifiers, kRenderingTypes[r]);
  UINTN after = EFITextInputCharacterCount(shown->text, kEFITextInputUnits);
  field->flags |= kUIFieldCaretVisible;
  if (before != after) field->flags |= kUIFieldTextChanged;
  if (field->text_changed != nullptr) field->text_changed(view, field->text_changed_context);
  field->flags &= static_cast<UINT8>(~kUIFieldTextChanged);
  _UIPasswordTextFieldRedraw(field, TRUE);
}
