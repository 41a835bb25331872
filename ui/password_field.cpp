// The password field's life: creation, destruction, focus, setters and getters.
#include "ui/password_field.h"

#include "draw/composite.h"
#include "draw/display.h"
#include "draw/log_error.h"
#include "draw/screen.h"
#include "lib/mem.h"
#include "memory/memory.h"

namespace {

constexpr UINT32 kFieldKind = 0;
constexpr INT32 kCaretHeight = 17;
constexpr UINT8 kCaretGrey = 100;
constexpr UINT8 kCaretWhite = 255;

void DestroyField(DUView* view) {
  UIPasswordTextField* field = static_cast<UIPasswordTextField*>(view->user_data);
  if (field == nullptr) return;
  // Still on its screen here: the responder record and the timer go first.
  _UIPasswordTextFieldStopBlinkingTimer(field);
  _UIPasswordTextFieldUnregisterForEvents(field);
  UIViewTicketRelease(field->ticket);
  for (EFITextInput* input : field->inputs) EFITextInputDestroy(input);
  if (field->caret != nullptr) PoolFree(field->caret);
  PoolFreeSecret(field, sizeof(*field));
  view->user_data = nullptr;
}

bool MakeCaret(UIPasswordTextField* field, BOOLEAN white) {
  INT32 scale = static_cast<INT32>(field->scale);
  field->caret_size = DUSize{kCaretHeight * scale, scale};
  UINTN count = static_cast<UINTN>(field->caret_size.height) * static_cast<UINTN>(field->caret_size.width);
  field->caret = static_cast<DUPixel*>(PoolAllocate(count * sizeof(DUPixel)));
  if (field->caret == nullptr) return false;
  UINT8 level = white ? kCaretWhite : kCaretGrey;
  for (UINTN i = 0; i < count; ++i) field->caret[i] = DUColorMake(level, level, level, 0);
  return true;
}

void SetFlag(UIPasswordTextField* field, UINT8 flag, BOOLEAN on) {
  field->flags = on ? (field->flags | flag) : (field->flags & static_cast<UINT8>(~flag));
}

}  // namespace

void _UIPasswordTextFieldRedraw(UIPasswordTextField* field, BOOLEAN draw_screen) {
  _UIPasswordTextFieldDrawInBuffer(field);
  if (!draw_screen || field->view->screen == nullptr) return;
  EFI_STATUS status = DUScreenDraw(field->view->screen);
  if (EFI_ERROR(status)) {
    DULogError("__UIPasswordTextFieldRedrawScreen", "DUScreenDraw failed: 0x%d", static_cast<INT32>(status & 0xFF));
  }
}

UIPasswordTextField* _UIPasswordTextFieldFromView(DUView* view, const char* operation) {
  UIPasswordTextField* field = view != nullptr ? static_cast<UIPasswordTextField*>(view->user_data) : nullptr;
  if (field == nullptr || field->view != view) {
    DULogError(operation, "textField is NULL");
    return nullptr;
  }
  return field;
}

UINT32 UIPasswordTextFieldCreate(DUView** out_view, const DURect& frame, const UIPasswordFieldPictures& pictures,
                                 const EFIKeyLayout* layout, BOOLEAN white_caret) {
  const char* operation = "UIPasswordTextFieldCreate";
  if (out_view == nullptr || frame.width <= 0 || frame.height <= 0) {
    DULogError(operation, "invalid arguments");
    return 1;
  }
  UINTN bytes = static_cast<UINTN>(frame.width) * static_cast<UINTN>(frame.height) * sizeof(DUPixel);
  DUPixel* pixels = static_cast<DUPixel*>(PoolAllocateZero(bytes));
  DUView* view = nullptr;
  // The view owns the buffer from here on, also when it cannot be made.
  if (pixels == nullptr || EFI_ERROR(DUViewCreateWithImage(frame, pixels, bytes, &view))) {
    DULogError(operation, "DUViewCreateWithImage failed");
    return 1;
  }
  if (EFI_ERROR(DUViewSetFrame(view, frame))) {
    DUViewDestroy(view);
    DULogError(operation, "DUViewSetFrame failed");
    return 1;
  }
  auto* field = static_cast<UIPasswordTextField*>(PoolAllocateZero(sizeof(UIPasswordTextField)));
  bool ok = field != nullptr;
  if (ok) {
    field->view = view;
    field->pictures = pictures;
    field->layout = layout != nullptr ? *layout : EFIKeyLayout{nullptr, 0};
    field->flags = kUIFieldEnabled;
    field->scale = DUScaleFactor() > 1 ? 2 : 1;
    for (EFITextInput*& input : field->inputs) ok = ok && (input = EFITextInputCreate()) != nullptr;
    ok = ok && (field->ticket = UIViewTicketCreate(view)) != nullptr;
    ok = ok && MakeCaret(field, white_caret);
    view->user_data = field;
  }
  DUViewSetCallbacks(view, nullptr, DestroyField, nullptr, field);
  DUViewSetKind(view, kFieldKind);
  if (!ok) {
    DUViewDestroy(view);
    DULogError(operation, "out of memory");
    return 1;
  }
  _UIPasswordTextFieldRedraw(field, FALSE);
  *out_view = view;
  return 0;
}

void UIPasswordTextFieldSetFocus(DUView* view, BOOLEAN focused, BOOLEAN redraw) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSetFocus");
  if (field == nullptr || ((field->flags & kUIFieldFocused) != 0) == (focused != 0)) return;
  SetFlag(field, kUIFieldFocused, focused);
  SetFlag(field, kUIFieldCaretVisible, focused);
  if (focused) {
    _UIPasswordTextFieldRegisterForEvents(field);
    _UIPasswordTextFieldStartBlinkingTimer(field);
  } else {
    _UIPasswordTextFieldUnregisterForEvents(field);
    _UIPasswordTextFieldStopBlinkingTimer(field);
  }
  if (redraw) _UIPasswordTextFieldRedraw(field, TRUE);
}

void UIPasswordTextFieldToggleCaret(DUView* view) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldToggleCaret");
  if (field == nullptr) return;
  field->flags ^= kUIFieldCaretVisible;
  _UIPasswordTextFieldRedraw(field, TRUE);
}

UINT32 UIPasswordTextFieldZeroOut(DUView* view) {
  UIPasswordTextField* field = view != nullptr ? static_cast<UIPasswordTextField*>(view->user_data) : nullptr;
  if (field == nullptr) {
    DULogError("UIPasswordTextFieldZeroOut", "textField is nil");
    return 1;
  }
  for (EFITextInput* input : field->inputs) EFITextInputClear(input);
  field->flags &= static_cast<UINT8>(~kUIFieldAllSelected);
  if (field->text_changed != nullptr) field->text_changed(view, field->text_changed_context);
  field->flags &= static_cast<UINT8>(~kUIFieldTextChanged);
  _UIPasswordTextFieldRedraw(field, TRUE);
  return 0;
}

UINT32 UIPasswordSetKeyboardLayout(DUView* view, const EFIKeyLayout* layout) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordSetKeyboardLayout");
  if (field == nullptr) return 1;
  if (layout == nullptr || layout->data == nullptr) {
    DULogError("UIPasswordSetKeyboardLayout", "keyboardLayout is NULL");
    return 1;
  }
  field->layout = *layout;
  return 0;
}

void UIPasswordTextFieldSetEnabled(DUView* view, BOOLEAN enabled) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSetEnabled");
  if (field == nullptr) return;
  SetFlag(field, kUIFieldEnabled, enabled);
  _UIPasswordTextFieldRedraw(field, TRUE);
}

void UIPasswordTextFieldSetShowGlyphs(DUView* view, BOOLEAN show) {
  if (UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSetShowGlyphs")) {
    SetFlag(field, kUIFieldShowGlyphs, show);
  }
}

void UIPasswordTextFieldSetRecoveryKeyFormat(DUView* view, BOOLEAN on) {
  if (UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSetRecoveryKeyFormat")) {
    SetFlag(field, kUIFieldRecoveryKey, on);
  }
}

void UIPasswordTextFieldSetHideCapsLockIndicator(DUView* view, BOOLEAN hide) {
  if (UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSetHideCapsLockIndicator")) {
    SetFlag(field, kUIFieldHideCapsLock, hide);
  }
}

void UIPasswordTextFieldSelectAll(DUView* view) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSelectAll");
  if (field == nullptr) return;
  field->flags |= kUIFieldAllSelected;
  _UIPasswordTextFieldRedraw(field, TRUE);
}

void UIPasswordTextFieldSetTextChangedCallback(DUView* view, UIPasswordTextChanged callback, void* context) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldSetTextChangedCallback");
  if (field == nullptr) return;
  field->text_changed = callback;
  field->text_changed_context = context;
}

const CHAR16* UIPasswordTextFieldGetText(DUView* view, UIPasswordRendering rendering) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldGetText");
  if (field == nullptr || rendering > kUIRenderingType45) return nullptr;
  return field->inputs[rendering]->text;
}

BOOLEAN UIPasswordTextFieldIsFocused(DUView* view) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldIsFocused");
  return field != nullptr && (field->flags & kUIFieldFocused) != 0;
}

BOOLEAN UIPasswordTextFieldTextChanged(DUView* view) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldTextChanged");
  return field != nullptr && (field->flags & kUIFieldTextChanged) != 0;
}

BOOLEAN UIPasswordTextFieldIsEmpty(DUView* view) {
  UIPasswordTextField* field = _UIPasswordTextFieldFromView(view, "UIPasswordTextFieldIsEmpty");
  if (field == nullptr) return TRUE;
  for (EFITextInput* input : field->inputs) {
    if (input->text[0] != 0) return FALSE;
  }
  return TRUE;
}
