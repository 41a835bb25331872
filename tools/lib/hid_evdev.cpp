#include "tools/lib/hid_evdev.h"

namespace {

// From the USB HID usage tables (keyboard page) and the input-event codes of Linux.
constexpr uint8_t kUsage00To67[0x68] = {
    0,  0,  0,  0,  30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38,   // 0x00 .. l
    50, 49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44, 2,  3,    // m .. 2
    4,  5,  6,  7,  8,  9,  10, 11, 28, 1,  14, 15, 57, 12, 13, 26,   // 3 .. [
    27, 43, 43, 39, 40, 41, 51, 52, 53, 58, 59, 60, 61, 62, 63, 64,   // ] .. F6
    65, 66, 67, 68, 87, 88, 99, 70, 119, 110, 102, 104, 111, 107, 109, 106,  // F7 .. right
    105, 108, 103, 69, 98, 55, 74, 78, 96, 79, 80, 81, 75, 76, 77, 71,       // left .. KP7
    72, 73, 82, 83, 86, 127, 116, 117,                                        // KP8 .. KP=
};

}  // namespace

uint32_t EvdevKeyForHidUsage(uint32_t usage) {
  if (usage < 0x68) return kUsage00To67[usage];
  if (usage >= 0x68 && usage <= 0x73) return 183 + (usage - 0x68);  // F13 .. F24
  switch (usage) {
    case 0x75: return 138;  // help
    case 0x7F: return 113;  // mute
    case 0x80: return 115;  // volume up
    case 0x81: return 114;  // volume down
    case 0x85: return 121;  // keypad comma
    case 0x87: return 89;   // international 1 (ro)
    case 0x89: return 124;  // international 3 (yen)
    case 0x90: return 122;  // language 1
    case 0x91: return 123;  // language 2
    case 0xE0: return 29;
    case 0xE1: return 42;
    case 0xE2: return 56;
    case 0xE3: return 125;
    case 0xE4: return 97;
    case 0xE5: return 54;
    case 0xE6: return 100;
    case 0xE7: return 126;
    default: return 0;
  }
}
