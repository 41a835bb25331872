#include "config/uuid_text.h"

namespace {

constexpr UINTN kUuidTextLength = 36;

UINT8 HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<UINT8>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<UINT8>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<UINT8>(c - 'A' + 10);
  return 0;
}

bool IsSeparatorPosition(UINTN i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

EFI_STATUS UuidTextToBytes(const char* text, UINTN length, UINT8 uuid[16]) {
  if (!text || length != kUuidTextLength) return EFI_INVALID_PARAMETER;
  for (UINTN i = 0; i < kUuidTextLength; ++i) {
    if (IsSeparatorPosition(i) && text[i] != '-') return EFI_INVALID_PARAMETER;
  }
  UINTN out = 0;
  for (UINTN i = 0; i < kUuidTextLength; i += 2) {
    if (IsSeparatorPosition(i)) ++i;
    uuid[out++] = static_cast<UINT8>(HexDigitValue(text[i]) << 4 | HexDigitValue(text[i + 1]));
  }
  return EFI_SUCCESS;
}
