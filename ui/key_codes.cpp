#include "ui/key_codes.h"

namespace {

constexpr UINT8 N = kUINoVirtualKey;

// Indexed by usage, sixteen to a line.
constexpr UINT8 kVirtualKeys[256] = {
    N,   N,   N,   N,   0,   11,  8,   2,   14,  3,   5,   4,   34,  38,  40,  37,   // 0x00
    46,  45,  31,  35,  12,  15,  1,   17,  32,  9,   13,  7,   16,  6,   18,  19,   // 0x10
    20,  21,  23,  22,  26,  28,  25,  29,  36,  53,  51,  48,  49,  27,  24,  33,   // 0x20
    30,  42,  42,  41,  39,  50,  43,  47,  44,  57,  122, 120, 99,  118, 96,  97,   // 0x30
    98,  100, 101, 109, 103, 111, 105, 107, 113, 114, 115, 116, 117, 119, 121, 124,  // 0x40
    123, 125, 126, 71,  75,  67,  78,  69,  76,  83,  84,  85,  86,  87,  88,  89,   // 0x50
    91,  92,  82,  65,  10,  110, 127, 81,  105, 107, 113, 106, 64,  79,  80,  90,   // 0x60
    N,   N,   N,   N,   N,   114, N,   N,   N,   N,   N,   N,   N,   N,   N,   74,   // 0x70
    72,  73,  N,   N,   N,   95,  N,   94,  N,   93,  N,   N,   N,   N,   N,   N,    // 0x80
    104, 102, N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 0x90
    N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 0xA0
    N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 0xB0
    N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 0xC0
    N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 0xD0
    59,  56,  58,  55,  62,  60,  61,  54,  N,   N,   N,   N,   N,   N,   N,   N,    // 0xE0
    N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,   N,    // 0xF0
};

constexpr UINT32 kGraveUsage = 0x35;
constexpr UINT32 kNonUsBackslashUsage = 0x64;

}  // namespace

UINT8 UIVirtualKeyForUsage(UINT32 usage, UINT32 keyboard_type) {
  if (usage > 255) usage = 255;
  if (keyboard_type == kUIKeyboardTypeIso) {
    if (usage == kGraveUsage) usage = kNonUsBackslashUsage;
    else if (usage == kNonUsBackslashUsage) usage = kGraveUsage;
  }
  return kVirtualKeys[usage];
}

UINT8 UIVirtualKeyForFirmwareKey(UINT32 firmware_key, UINT32 keyboard_type) {
  UINT32 usage = firmware_key >= kUIFirmwareKeyBase ? firmware_key - kUIFirmwareKeyBase : 255;
  return UIVirtualKeyForUsage(usage, keyboard_type);
}
