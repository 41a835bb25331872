// Drawing of the password field into its view's buffer.

#include "draw/composite.h"
#include "draw/log_error.h"
#include "output/ascii_format.h"
#include "ui/password_field.h"

DUPixel gUIPasswordFieldBackground = DUColorMake(255, 255, 255, 0);

namespace {

constexpr UINT8 kDisabledTransparency = 120;

bool GlyphFor(const UIPasswordTextField* field, UINT32 code, bool selected, UIPicture* picture) {
  const UIGlyphSource& glyphs = field->pictures.glyphs;
  if (glyphs.lookup == nullptr) return false;
  char name[32];
  AsciiSNPrint(name, sizeof(name), selected ? "%d_sel.png" : "%d.png", code);
  return glyphs.lookup(glyphs.context, name, picture) || glyphs.lookup(glyphs.context, "?.png", picture);
}

// The code point of each character of the displayed text, in turn.
struct Characters {
  const CHAR16* text;
  UINTN at = 0;
  bool Next(UINT32* code) {
    CHAR16 unit = text[at];
    if (unit == 0 || at >= kEFITextInputMaxLength) return false;
    CHAR16 low = text[at + 1];
    if (unit >= 0xD800 && unit <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
      *code = 0x10000 + ((UINT32(unit) - 0xD800) << 10) + (low - 0xDC00);
      at += 2;
    } else {
      *code = unit;
      at += 1;
    }
    return true;
  }
};

INT32 DotAdvance(const UIPasswordTextField* field) {
  return field->pictures.dot.size.width + 2 + (field->scale > 1 ? 2 : 0);
}

void Composite(UIPasswordTextField* field, const UIPicture& picture, DUPoint at, UINT8 transparency,
               const DURect* clip, const char* what) {
  if (picture.pixels == nullptr) return;
  DUView* view = field->view;
  EFI_STATUS status = DUCompositePixelBuffers(view->pixels, view->content_size, clip, picture.pixels, picture.size,
                                              at, transparency, nullptr);
  if (EFI_ERROR(status) && status != EFI_NOT_FOUND) {
    DULogError("_UIPasswordTextFieldDrawInBuffer", "DUCompositePixelBuffers %s failed err: %d", what,
               static_cast<INT32>(status & 0xFF));
  }
}

void DrawText(UIPasswordTextField* field, UINT8 transparency) {
  DUSize size = field->view->content_size;
  bool selected = (field->flags & kUIFieldAllSelected) != 0;
  Characters characters{field->inputs[kUIRenderingType46]->text};
  UINT32 code = 0;
  INT32 x = 0;
  if (!(field->flags & kUIFieldShowGlyphs)) {
    const UIPicture& dot = field->pictures.dot;
    INT32 y = (size.height - dot.size.height) / 2 + (field->scale > 1 ? 2 : 1);
    while (x < size.width && characters.Next(&code)) {
      Composite(field, dot, DUPoint{x, y}, transparency, nullptr, "dot");
      x += DotAdvance(field);
    }
    return;
  }
  while (x < size.width && characters.Next(&code)) {
    UIPicture glyph;
    if (!GlyphFor(field, code, selected, &glyph)) continue;
    Composite(field, glyph, DUPoint{x, (size.height - glyph.size.height) / 2}, transparency, nullptr, "glyph");
    x += glyph.size.width;
  }
}

}  // namespace

INT32 _UIPasswordTextField_WidthForCharactersUpToIndex(UIPasswordTextField* field, UINTN index) {
  const CHAR16* text = field->inputs[kUIRenderingType46]->text;
  UINTN count = EFITextInputCharacterCount(text, kEFITextInputUnits);
  if (index > count) {
    DULogError("_UIPasswordTextField_WidthForCharactersUpToIndex", "%s (index:%d > textInputLength:%d)",
               "_UIPasswordTextField_WidthForCharactersUpToIndex", static_cast<INT32>(index),
               static_cast<INT32>(count));
    return -1;
  }
  if (!(field->flags & kUIFieldShowGlyphs)) return static_cast<INT32>(index) * DotAdvance(field);
  Characters characters{text};
  UINT32 code = 0;
  INT32 width = 0;
  for (UINTN i = 0; i < index && characters.Next(&code); ++i) {
    UIPicture glyph;
    if (GlyphFor(field, code, (field->flags & kUIFieldAllSelected) != 0, &glyph)) width += glyph.size.width;
  }
  return width;
}

void _UIPasswordTextFieldDrawInBuffer(UIPasswordTextField* field) {
  DUView* view = field->view;
  DUSize size = view->content_size;
  DUFillBufferRect(gUIPasswordFieldBackground, view->pixels, size, DURect{0, 0, size.height, size.width});
  const EFITextInput* shown = field->inputs[kUIRenderingType46];
  bool empty = shown->text[0] == 0;
  const UIPicture& placeholder = field->pictures.placeholder;
  if (empty && placeholder.pixels != nullptr) {
    Composite(field, placeholder, DUPoint{-20, (size.height - placeholder.size.height) / 2}, 0, nullptr,
              "placeholder");
  }
  const UIPicture& caps = field->pictures.caps_lock;
  if (field->caps_lock && (field->flags & kUIFieldFocused) && !(field->flags & kUIFieldHideCapsLock)) {
    INT32 x = size.width - (field->scale > 1 ? 32 : 16);
    INT32 y = (size.height - caps.size.height) / 2 + (field->scale > 1 ? 0 : 1);
    Composite(field, caps, DUPoint{x, y}, 0, nullptr, "caps lock");
  }
  INT32 text_width = _UIPasswordTextField_WidthForCharactersUpToIndex(
      field, EFITextInputCharacterCount(shown->text, kEFITextInputUnits));
  if ((field->flags & kUIFieldAllSelected) && text_width > 0) {
    DURect clip{0, 0, size.height, text_width};
    Composite(field, field->pictures.selection, DUPoint{0, 0}, 0, &clip, "selection");
  }
  DrawText(field, (field->flags & kUIFieldEnabled) ? 0 : kDisabledTransparency);
  if ((field->flags & kUIFieldCaretVisible) && !(field->flags & kUIFieldAllSelected)) {
    INT32 x = _UIPasswordTextField_WidthForCharactersUpToIndex(
        field, EFITextInputCharacterCount(shown->text, shown->cursor));
    Composite(field, UIPicture{field->caret, field->caret_size}, DUPoint{x, 0}, 0, nullptr, "cursor");
  }
  DUViewSetNeedsDisplay(view);
}
