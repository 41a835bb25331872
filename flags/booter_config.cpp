#include "flags/guids.h"
#include "flags/booter_config.h"

#include "efi/efi.h"
#include "lib/host_reset.h"
#include "lib/string.h"

BooterSettings gBooterSettings = {kBooterDefaultLog, kBooterDefaultDebug, kBooterDefaultKcReadSize,
                                  kBooterDefaultLevel};

namespace {


void ResetBooterSettings() {
  gBooterSettings = {kBooterDefaultLog, kBooterDefaultDebug, kBooterDefaultKcReadSize, kBooterDefaultLevel};
}
HEARTH_HOST_RESET(ResetBooterSettings);

bool IsSpace(UINT8 c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

int HexDigit(UINT8 c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<UINT8>(AsciiToLower(static_cast<char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads the value part of a token; false when it does not fit in 64 bits.
bool ParseHexValue(const UINT8* p, UINTN length, UINT64* value) {
  UINTN i = 0;
  if (length >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) i = 2;
  UINT64 v = 0;
  for (; i < length; ++i) {
    int digit = HexDigit(p[i]);
    if (digit < 0) break;
    if (v >> 60) return false;
    v = (v << 4) | static_cast<UINT64>(digit);
  }
  *value = v;
  return true;
}

// Matches one token against name; sets *value when it names it.
bool MatchToken(const UINT8* token, UINTN length, const char* name, UINTN name_length, UINT64* value) {
  if (length < name_length || MemCompare(token, name, name_length) != 0) return false;
  if (length == name_length) {
    *value = 0;
    return true;
  }
  if (token[name_length] != '=') return false;
  return ParseHexValue(token + name_length + 1, length - name_length - 1, value);
}

// The text ends at its length or at its first NUL, whichever comes first.
UINTN TextLength(ByteSpan text) {
  UINTN n = 0;
  while (n < text.size() && text.data()[n] != 0) ++n;
  return n;
}

// Reads a variable of at most kBooterConfigMaxSize bytes. *present tells whether it exists
// at all (even when too large to read).
EFI_STATUS ReadSettingsVariable(const CHAR16* name, UINT8* buffer, UINTN* size, bool* present) {
  *size = kBooterConfigMaxSize;
  EFI_STATUS status = gRT->GetVariable(name, &TarnBootGuid, nullptr, size, buffer);
  *present = status != EFI_NOT_FOUND;
  if (EFI_ERROR(status) || *size > kBooterConfigMaxSize) *size = 0;
  return status;
}

}  // namespace

bool BooterConfigLookup(ByteSpan text, const char* name, UINT64* value) {
  const UINTN name_length = AsciiStrLen(name);
  const UINTN length = TextLength(text);
  const UINT8* p = text.data();
  bool found = false;
  UINTN i = 0;
  while (i < length) {
    while (i < length && IsSpace(p[i])) ++i;
    UINTN start = i;
    while (i < length && !IsSpace(p[i])) ++i;
    UINT64 v = 0;
    if (i > start && MatchToken(p + start, i - start, name, name_length, &v)) {
      *value = v;
      found = true;
    }
  }
  return found;
}

void ParseBooterSettings(ByteSpan text, BooterSettings* settings) {
  BooterConfigLookup(text, "log", &settings->log);
  BooterConfigLookup(text, "debug", &settings->debug);
  BooterConfigLookup(text, "kc-read-size", &settings->kc_read_size);
  BooterConfigLookup(text, "level", &settings->level);
}

EFI_STATUS ReadBooterSettings() {
  UINT8 buffer[kBooterConfigMaxSize];
  UINTN size = 0;
  bool present = false;
  EFI_STATUS status = ReadSettingsVariable(u"bootercfg-once", buffer, &size, &present);
  if (present) gRT->SetVariable(u"bootercfg-once", &TarnBootGuid, 0, 0, nullptr);
  if (EFI_ERROR(status)) status = ReadSettingsVariable(u"bootercfg", buffer, &size, &present);
  if (EFI_ERROR(status)) return EFI_NOT_FOUND;
  ParseBooterSettings(ByteSpan(buffer, size), &gBooterSettings);
  return EFI_SUCCESS;
}
