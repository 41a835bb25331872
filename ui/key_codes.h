// USB HID keyboard usages (firmware key codes 0x7000 + usage) to the virtual key codes the
// keyboard layouts are indexed by.
#pragma once

#include "efi/types.h"

constexpr UINT16 kUIFirmwareKeyBase = 0x7000;
constexpr UINT8 kUINoVirtualKey = 255;
// The ISO keyboard type: its two keys left of "1" and right of left shift swap codes.
constexpr UINT32 kUIKeyboardTypeIso = 47;

// The virtual key for a firmware key code (clamped to usage 255), or kUINoVirtualKey.
UINT8 UIVirtualKeyForFirmwareKey(UINT32 firmware_key, UINT32 keyboard_type);

// The same for a bare usage.
UINT8 UIVirtualKeyForUsage(UINT32 usage, UINT32 keyboard_type);
