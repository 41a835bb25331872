// Shared by the keyboard-layout and password-field tests: small layouts written with the
// layout writer, the captured log, and translation helpers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "diag/log.h"
#include "flags/booter_config.h"
#include "testfw/test_firmware.h"
#include "tools/lib/uchr_writer.h"
#include "ui/key_translate.h"

// Captures the log in memory for the lifetime of the fixture.
class LoggedTest {
 public:
  LoggedTest() {
    BooterSettings settings = gBooterSettings;
    settings.level = kLogCategoryError;
    settings.debug = kLogDebugPublishMemoryLog;
    settings.log = 0;
    LogStart(settings);
  }
  std::string LogText() const {
    const UINT8* data = nullptr;
    UINTN size = 0;
    LogInMemoryContents(&data, &size);
    std::string plain;
    for (UINTN i = 0; i < size; ++i) {
      if (data[i] != '\r') plain += static_cast<char>(data[i]);
    }
    return plain;
  }
  TestFirmware fw;
};

inline std::vector<uint8_t> LayoutBytes(const UchrLayout& layout) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!WriteUchr(layout, &bytes, &error)) bytes.clear();
  return bytes;
}

struct Typed {
  INT32 result;
  std::u16string text;
  UINT32 state;
};

// One key event with the given state word.
inline Typed TranslateKey(const std::vector<uint8_t>& bytes, UINT16 key, UINT32 modifiers, UINT32 state,
                          UINT16 action = kEFIKeyActionDown, UINT32 type = 0, UINT32 options = 0,
                          UINTN room = 32) {
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  CHAR16 out[64] = {};
  UINTN length = 0;
  INT32 result = EFIKeyTranslate(&layout, key, action, modifiers, type, options, &state, room, &length, out);
  return Typed{result, std::u16string(out, out + length), state};
}
