// The keyboard centre: receives key and modifier events from the input-event protocol,
// counts them, and calls one of fourteen key actions that the current pane installs. The
// handler only records and defers; the actions run on the run loop in key order.
#pragma once

#include "efi/protocols/tarn_event.h"
#include "efi/types.h"

constexpr UINT32 kKeyboardCenterEventMask = 0x0D00;
constexpr UINT32 kKeyboardCenterActionCount = 14;

// Action slots.
enum KeyboardCenterSlot : UINT32 {
  kKeyActionUp = 0,
  kKeyActionDown = 1,
  kKeyActionLeft = 2,
  kKeyActionRight = 3,
  kKeyActionEscape = 4,
  kKeyActionReturn = 5,        // return or keypad enter
  kKeyActionTab = 6,
  kKeyActionCommandF5 = 7,
  kKeyActionAllModifiersF1 = 8,
  kKeyActionAllModifiersF2 = 9,
  kKeyActionCommandSpace = 10,
  kKeyActionModifiers = 11,    // modifiers changed
  kKeyActionOther = 12,
  kKeyActionAfterKey = 13,     // after every key press
};

// Modifier bit pairs (left and right).
constexpr UINT16 kModifierControl = 0x11;
constexpr UINT16 kModifierShift = 0x22;
constexpr UINT16 kModifierOption = 0x44;
constexpr UINT16 kModifierCommand = 0x88;

struct KeyboardCenter;

// What an action receives: the modifiers and then the key code (for slot 11 the modifiers
// twice).
struct KeyboardCenterKeyInfo {
  UINT16 modifiers;
  UINT16 key_code;
};

typedef void (*KeyboardCenterAction)(KeyboardCenter* centre, KeyboardCenterKeyInfo info);

struct KeyboardCenterPrivate {
  TarnEventHandle eventHandle;
};

struct KeyboardCenter {
  KeyboardCenterAction actions[kKeyboardCenterActionCount];
  void* context;
  UINT64 key_event_count;
  UINT16 modifiers;
  UINT16 key_code;  // 0xFFFF when the last event carried none
  UINT8 key_down;
  KeyboardCenterPrivate priv;
};

// 0, or 1 ("kcenter is NULL") for a null output.
UINTN KeyboardCenterCreate(KeyboardCenter** out, void* owner);
// Stops the centre when it runs, then frees it.
void KeyboardCenterDestroy(KeyboardCenter* centre);
// Registers for key, modifiers-pressed and modifiers-released events. 0, or 1.
UINTN KeyboardCenterStart(KeyboardCenter* centre);
UINTN KeyboardCenterStop(KeyboardCenter* centre);
UINTN KeyboardCenterClearActions(KeyboardCenter* centre);
KeyboardCenterAction* KeyboardCenterActions(KeyboardCenter* centre);
UINT64 KeyboardCenterKeyEventCount(const KeyboardCenter* centre);
// The slot a key press goes to (12 for every key without its own).
UINT32 KeyboardCenterSlotForKey(UINT16 key_code, UINT16 modifiers);
