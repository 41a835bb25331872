#include "platform/platform_text.h"

void PlatformText::Put(char c) {
  if (size_ == kCapacity) return;
  text_[size_++] = c;
  text_[size_] = 0;
}

PlatformText& PlatformText::Add(const char* text) {
  while (text && *text) Put(*text++);
  return *this;
}

PlatformText& PlatformText::Add(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i) Put(text[i]);
  return *this;
}

PlatformText& PlatformText::AddUcs2(const CHAR16* text) {
  for (; text && *text; ++text) Put(*text < 0x80 ? static_cast<char>(*text) : '?');
  return *this;
}

PlatformText& PlatformText::AddDecimal(uint64_t value) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  while (n) Put(digits[--n]);
  return *this;
}

PlatformText& PlatformText::AddHex(uint64_t value, int min_digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  char digits[16];
  int n = 0;
  do {
    digits[n++] = kDigits[value & 0xF];
    value >>= 4;
  } while (value);
  while (n < min_digits && n < 16) digits[n++] = '0';
  Add("0x");
  while (n) Put(digits[--n]);
  return *this;
}

PlatformText& PlatformText::AddStatus(EFI_STATUS status) {
  const char* name = StatusName(status);
  Add(name ? name : "Unknown status").Add(" (");
  return AddHex(status).Add(")");
}

const char* StatusName(EFI_STATUS status) {
  static const char* const kErrors[] = {
      "Success",           "Load Error",          "Invalid Parameter",  "Unsupported",
      "Bad Buffer Size",   "Buffer Too Small",    "Not Ready",          "Device Error",
      "Write Protected",   "Out of Resources",    "Volume Corrupt",     "Volume Full",
      "No Media",          "Media changed",       "Not Found",          "Access Denied",
      "No Response",       "No mapping",          "Time out",           "Not started",
      "Already started",   "Aborted",             "ICMP Error",         "TFTP Error",
      "Protocol Error",    "Incompatible Version", "Security Violation", "CRC Error",
      "End of Media",      nullptr,               nullptr,              "End of File",
      "Invalid Language",  "Compromised Data",
  };
  static const char* const kWarnings[] = {
      "Success", "Warning Unknown Glyph", "Warning Delete Failure", "Warning Write Failure",
      "Warning Buffer Too Small",
  };
  constexpr EFI_STATUS kErrorBit = 0x8000000000000000ULL;
  if (status == 0) return kErrors[0];
  if (status & kErrorBit) {
    EFI_STATUS code = status & ~kErrorBit;
    if (code == 0) return nullptr;
    return code < sizeof(kErrors) / sizeof(kErrors[0]) ? kErrors[code] : nullptr;
  }
  return status < sizeof(kWarnings) / sizeof(kWarnings[0]) ? kWarnings[status] : nullptr;
}
