// Key events through an arbitrary 'uchr' layout. The first 8 input bytes drive the events
// (key code, modifiers, keyboard type, action); the rest, copied to a heap block of exactly
// its size, is the layout, so any read outside it is caught. Each layout also takes a run
// of key-downs through a text-input buffer, whose cursor must stay inside its text.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "ui/key_translate.h"
#include "ui/text_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const uint8_t* drive = data;
  size -= 8;
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
  std::memcpy(copy.get(), data + 8, size);
  EFIKeyLayout layout{copy.get(), size};

  UINT32 state = 0;
  for (int i = 0; i < 8; ++i) {
    CHAR16 out[8];
    UINTN length = 0;
    UINT16 key = static_cast<UINT16>(drive[i] & 0x7F) | static_cast<UINT16>((drive[i] & 0x80) << 1);
    UINT16 action = drive[(i + 1) % 8] & 3;
    UINT32 modifiers = drive[(i + 2) % 8];
    UINT32 type = drive[(i + 3) % 8];
    EFIKeyTranslate(&layout, key, action, modifiers, type, drive[i] >> 7, &state, 1 + (drive[i] & 7), &length, out);
    if (length > 1 + static_cast<UINTN>(drive[i] & 7)) std::abort();
  }

  EFITextInput input{};
  for (int i = 0; i < 64; ++i) {
    EFITextInputAppend(&input, &layout, drive[i % 8] & 0x7F, drive[(i + 3) % 8] & 0x1E, 46);
    UINTN text_length = EFITextInputLength(&input);
    if (input.cursor > text_length || text_length > kEFITextInputMaxLength) std::abort();
  }
  return 0;
}
