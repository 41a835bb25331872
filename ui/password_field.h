// The password text field: the login window's secret-entry view. It shows the typed text
// as dots (or glyph pictures), a caret, a caps-lock indicator and a placeholder while
// empty. Every key is translated for the keyboard types 46, 47 and 45 into three parallel
// buffers, since the password may have been set on any of those keyboards; the recovery-key
// mode accepts only the key's alphabet and inserts its dashes.
#pragma once

#include "draw/geometry.h"
#include "draw/view.h"
#include "efi/types.h"
#include "efi/efi.h"
#include "efi/protocols/tarn_event.h"
#include "ui/key_translate.h"
#include "ui/text_input.h"
#include "ui/view_ticket.h"

// A picture the field draws.
struct UIPicture {
  const DUPixel* pixels;
  DUSize size;
};

// Glyph pictures by name ("97.png", "97_sel.png", "?.png"): the glyph archive's lookup.
// Returns false when the name is not there.
typedef bool (*UIGlyphLookup)(void* context, const char* name, UIPicture* picture);
struct UIGlyphSource {
  UIGlyphLookup lookup;
  void* context;
};

struct UIPasswordFieldPictures {
  UIPicture dot;
  UIPicture selection;
  UIPicture caps_lock;
  UIPicture placeholder;
  UIGlyphSource glyphs;
};

typedef void (*UIPasswordTextChanged)(DUView* view, void* context);

// Which buffer: the displayed one (type 46), then 47 and 45.
enum UIPasswordRendering : UINT32 { kUIRenderingType46 = 0, kUIRenderingType47 = 1, kUIRenderingType45 = 2 };

// Field flags.
constexpr UINT8 kUIFieldCaretVisible = 0x01;
constexpr UINT8 kUIFieldFocused = 0x02;
constexpr UINT8 kUIFieldEnabled = 0x04;
constexpr UINT8 kUIFieldAllSelected = 0x08;
constexpr UINT8 kUIFieldShowGlyphs = 0x10;
constexpr UINT8 kUIFieldRecoveryKey = 0x20;
constexpr UINT8 kUIFieldHideCapsLock = 0x40;
constexpr UINT8 kUIFieldTextChanged = 0x80;

// The record the field's view holds as its user data.
struct UIPasswordTextField {
  UIPasswordFieldPictures pictures;
  EFITextInput* inputs[3];  // UIPasswordRendering order
  EFIKeyLayout layout;
  DUPixel* caret;           // scale wide, 17 x scale high
  DUSize caret_size;
  UINT8 flags;
  BOOLEAN caps_lock;        // as the last key event reported it
  UINT32 scale;
  DUView* view;
  UIPasswordTextChanged text_changed;
  void* text_changed_context;
  EFI_EVENT blink_timer;   // while focused
  BOOLEAN blink_pending;   // a blink waits in the run loop
  UIViewTicket* ticket;    // keys and blinks deferred to the run loop
};

// The key events a focused field asks its screen for, and the caret's blink period
// (575 ms in 100 ns units).
constexpr UINT32 kUIPasswordFieldEventMask = 0xFF00;
constexpr UINT64 kUIPasswordFieldBlinkPeriod = 5750000;

// The field's background (set by the login window for every field).
extern DUPixel gUIPasswordFieldBackground;

// HID modifier bits of the input-event record.
constexpr UINT8 kUIHidLeftControl = 0x01;
constexpr UINT8 kUIHidShift = 0x22;
constexpr UINT8 kUIHidOption = 0x44;
constexpr UINT8 kUIHidCommand = 0x88;

// Creates the view (its buffer the frame's size), the record, the three buffers and the
// caret (grey, or white for a dark background) and draws the field once. 0 or 1 (logged).
UINT32 UIPasswordTextFieldCreate(DUView** out_view, const DURect& frame, const UIPasswordFieldPictures& pictures,
                                 const EFIKeyLayout* layout, BOOLEAN white_caret);

// One key-down: firmware key code (0x7000 + usage), HID modifier bits, caps lock as the
// input-event protocol reports it. Command-A selects all; other keys edit the three buffers.
void UIPasswordTextFieldHandleKey(DUView* view, UINT32 firmware_key, UINT8 hid_modifiers, BOOLEAN caps_lock);

// The caret shows exactly while focused. Gaining the focus registers the view with its
// screen for key events and starts the caret's blink; losing it undoes both.
void UIPasswordTextFieldSetFocus(DUView* view, BOOLEAN focused, BOOLEAN redraw);
// Blink: shows or hides the caret and redraws.
void UIPasswordTextFieldToggleCaret(DUView* view);

UINT32 UIPasswordTextFieldZeroOut(DUView* view);
UINT32 UIPasswordSetKeyboardLayout(DUView* view, const EFIKeyLayout* layout);
void UIPasswordTextFieldSetEnabled(DUView* view, BOOLEAN enabled);
void UIPasswordTextFieldSetShowGlyphs(DUView* view, BOOLEAN show);
void UIPasswordTextFieldSetRecoveryKeyFormat(DUView* view, BOOLEAN on);
void UIPasswordTextFieldSetHideCapsLockIndicator(DUView* view, BOOLEAN hide);
void UIPasswordTextFieldSelectAll(DUView* view);
void UIPasswordTextFieldSetTextChangedCallback(DUView* view, UIPasswordTextChanged callback, void* context);

// The text of one rendering (NUL-terminated UTF-16), nullptr for a view that is no field.
const CHAR16* UIPasswordTextFieldGetText(DUView* view, UIPasswordRendering rendering);
BOOLEAN UIPasswordTextFieldIsFocused(DUView* view);
BOOLEAN UIPasswordTextFieldTextChanged(DUView* view);
// True when all three buffers are empty.
BOOLEAN UIPasswordTextFieldIsEmpty(DUView* view);

// Pixels from the left edge to the character at index; -1 (logged) beyond the text.
INT32 _UIPasswordTextField_WidthForCharactersUpToIndex(UIPasswordTextField* field, UINTN index);
// Draws the whole field into the view's own buffer and marks the view for display.
void _UIPasswordTextFieldDrawInBuffer(UIPasswordTextField* field);
// The same, then draws the screen the view is on when asked.
void _UIPasswordTextFieldRedraw(UIPasswordTextField* field, BOOLEAN draw_screen);
// Key events and the blink timer (password_field_events.cpp). Each returns 0, or 1 when it
// failed (logged); the field stays usable either way.
UINT32 _UIPasswordTextFieldRegisterForEvents(UIPasswordTextField* field);
UINT32 _UIPasswordTextFieldUnregisterForEvents(UIPasswordTextField* field);
UINT32 _UIPasswordTextFieldStartBlinkingTimer(UIPasswordTextField* field);
void _UIPasswordTextFieldStopBlinkingTimer(UIPasswordTextField* field);
// The responder the focused field registers: key-down events are handed to the run loop,
// with the caps-lock state the input-event protocol reports. TRUE for the keys it takes.
BOOLEAN _UIPasswordTextFieldKeyResponder(DUView* view, TarnEventRecord* event, void* context);

// The field's record; nullptr (logged under operation) when the view holds none.
UIPasswordTextField* _UIPasswordTextFieldFromView(DUView* view, const char* operation);
