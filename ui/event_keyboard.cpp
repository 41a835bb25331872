// Keyboard polling of the built-in input events: keys newly held since the last poll become
// key events, modifier changes become release and press events.
#include "efi/protocols/tarn_key_state.h"
#include "ui/event_builtin.h"

namespace {

BuiltinEvents& B() { return gBuiltinEvents; }

constexpr UINT16 kKeyCapsLock = 0x7039;

bool WasHeld(UINT16 key) {
  for (UINTN i = 0; i < B().held_count; ++i) {
    if (B().held_keys[i] == key) return true;
  }
  return false;
}

}  // namespace

void BuiltinPollKeyboard() {
  TarnKeyStateProtocol* keys = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kTarnKeyStateProtocolGuid, nullptr, reinterpret_cast<VOID**>(&keys))) || !keys) {
    return;
  }
  UINT16 modifiers = 0;
  CHAR16 held[kMaxHeldKeys] = {};
  UINTN count = kMaxHeldKeys;
  if (EFI_ERROR(keys->ReadKeyState(keys, &modifiers, &count, held))) return;
  if (count > kMaxHeldKeys) count = kMaxHeldKeys;  // never trust more than the room offered

  for (UINTN i = 0; i < count; ++i) {
    UINT16 key = held[i];
    if (WasHeld(key)) continue;
    if (key == kKeyCapsLock) B().caps_lock = !B().caps_lock;
    TarnEventKeyData data{modifiers, UINT16(count), 0, key};
    BuiltinQueueEvent(kTarnEventKeyPressed, 0, modifiers, &data);
  }
  B().held_count = count;
  for (UINTN i = 0; i < count; ++i) B().held_keys[i] = held[i];

  UINT16 released = UINT16(B().modifiers & ~modifiers);
  UINT16 pressed = UINT16(modifiers & ~B().modifiers);
  B().modifiers = modifiers;
  if (released) BuiltinQueueEvent(kTarnEventModifiersReleased, 0, released, nullptr);
  if (pressed) BuiltinQueueEvent(kTarnEventModifiersPressed, 0, pressed, nullptr);
}
