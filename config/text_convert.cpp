#include "config/text_convert.h"

#include "memory/memory.h"

namespace {

// Length of the well-formed sequence at text[i, length) and its character; 0 when malformed.
UINTN DecodeUtf8(const UINT8* text, UINTN i, UINTN length, UINT32* character) {
  UINT8 lead = text[i];
  UINTN size = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (size == 0 || size > length - i) return 0;
  UINT32 c = size == 1 ? lead : size == 2 ? (lead & 0x1Fu) : size == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
  for (UINTN k = 1; k < size; ++k) {
    UINT8 b = text[i + k];
    if ((b & 0xC0) != 0x80 || b == 0) return 0;
    c = (c << 6) | (b & 0x3Fu);
  }
  static const UINT32 kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kSmallest[size]) return 0;  // overlong forms
  *character = c;
  return size;
}

}  // namespace

UINTN Utf8SizeForUcs2(UINTN count) {
  if (count > (static_cast<UINTN>(-1) - 1) / 3) return 0;
  return count * 3 + 1;
}

UINTN Ucs2ToUtf8(const CHAR16* text, UINTN count, char* out, UINTN out_size) {
  if (out_size == 0) return 0;
  UINTN used = 0;
  for (UINTN i = 0; i < count && text[i]; ++i) {
    UINT32 c = text[i];
    UINTN need = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
    if (need > out_size - 1 - used) break;
    if (need == 1) {
      out[used++] = static_cast<char>(c);
    } else if (need == 2) {
      out[used++] = static_cast<char>(0xC0 | (c >> 6));
      out[used++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out[used++] = static_cast<char>(0xE0 | (c >> 12));
      out[used++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out[used++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  out[used] = 0;
  return used;
}

EFI_STATUS Ucs2ToUtf8Allocate(const CHAR16* text, UINTN count, char** out) {
  UINTN size = Utf8SizeForUcs2(count);
  if (size == 0) return EFI_OUT_OF_RESOURCES;
  char* buffer = static_cast<char*>(PoolAllocate(size));
  if (!buffer) return EFI_OUT_OF_RESOURCES;
  Ucs2ToUtf8(text, count, buffer, size);
  *out = buffer;
  return EFI_SUCCESS;
}

UINTN Utf8ToUcs2(const char* text, UINTN length, CHAR16* out, UINTN out_count) {
  if (out_count == 0) return 0;
  const UINT8* bytes = reinterpret_cast<const UINT8*>(text);
  UINTN used = 0;
  for (UINTN i = 0; i < length && bytes[i] && used < out_count - 1;) {
    UINT32 c = 0;
    UINTN size = DecodeUtf8(bytes, i, length, &c);
    if (size == 0 || c > 0xFFFF) c = '?';
    i += size ? size : 1;
    out[used++] = static_cast<CHAR16>(c);
  }
  out[used] = 0;
  return used;
}

EFI_STATUS Utf8ToUcs2Allocate(const char* text, UINTN length, CHAR16** out) {
  if (length >= static_cast<UINTN>(-1) / sizeof(CHAR16)) return EFI_OUT_OF_RESOURCES;
  CHAR16* buffer = static_cast<CHAR16*>(PoolAllocate((length + 1) * sizeof(CHAR16)));
  if (!buffer) return EFI_OUT_OF_RESOURCES;
  Utf8ToUcs2(text, length, buffer, length + 1);
  *out = buffer;
  return EFI_SUCCESS;
}
