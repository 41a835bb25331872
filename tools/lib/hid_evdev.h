// USB HID keyboard usages to the evdev key numbers that XKB keymaps are written for
// (XKB key code = evdev number + 8). 0 = no such key.
#pragma once

#include <cstdint>

uint32_t EvdevKeyForHidUsage(uint32_t usage);
inline uint32_t XkbKeycodeForHidUsage(uint32_t usage) {
  uint32_t key = EvdevKeyForHidUsage(usage);
  return key == 0 ? 0 : key + 8;
}
