#include "ui/keyboard_centre.h"

#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/event_protocol.h"
#include "ui/run_loop.h"

namespace {

bool Has(UINT16 modifiers, UINT16 pair) { return (modifiers & pair) != 0; }
bool AllFour(UINT16 m) {
  return Has(m, kModifierControl) && Has(m, kModifierShift) && Has(m, kModifierOption) && Has(m, kModifierCommand);
}

UINTN Pack(UINT16 modifiers, UINT16 key_code) { return (UINTN(modifiers) << 16) | key_code; }
KeyboardCenterKeyInfo Unpack(UINTN argument) {
  return KeyboardCenterKeyInfo{UINT16(argument >> 16), UINT16(argument & 0xFFFF)};
}

EFI_STATUS KeyDownDeferred(RunLoop*, void* context, UINTN argument) {
  auto* centre = static_cast<KeyboardCenter*>(context);
  KeyboardCenterKeyInfo info = Unpack(argument);
  if (KeyboardCenterAction action = centre->actions[KeyboardCenterSlotForKey(info.key_code, info.modifiers)]) {
    action(centre, info);
  }
  if (KeyboardCenterAction after = centre->actions[kKeyActionAfterKey]) after(centre, info);
  return EFI_SUCCESS;
}

EFI_STATUS ModifiersDeferred(RunLoop*, void* context, UINTN argument) {
  auto* centre = static_cast<KeyboardCenter*>(context);
  UINT16 modifiers = UINT16(argument >> 16);
  if (KeyboardCenterAction action = centre->actions[kKeyActionModifiers]) action(centre, {modifiers, modifiers});
  return EFI_SUCCESS;
}

UINT16 KeyCodeFromEvent(const TarnEventRecord* event) {
  if (!event) {
    DULogError("__keyCodeFromTarnEvent", "event is NULL\n");
    return 1;
  }
  if (!(event->Type & kTarnEventKeyPressed) || event->Data == 0) return 0xFFFF;
  return reinterpret_cast<const TarnEventKeyData*>(UINTN(event->Data))->KeyCode;
}

UINT16 ModifiersFromEvent(const TarnEventRecord* event) {
  if (!event) {
    DULogError("__modifiersFromTarnEvent", "event is NULL\n");
    return 1;
  }
  return UINT16(event->Modifiers);
}

void EFIAPI KeyboardEventHandler(TarnEventRecord* event, void* context) {
  auto* centre = static_cast<KeyboardCenter*>(context);
  if (!centre) {
    DULogError("_KA_KeyboardEventHandler", "inUserData is NULL, expected KeyboardCenterRef\n");
    return;
  }
  ++centre->key_event_count;
  centre->key_code = KeyCodeFromEvent(event);
  centre->modifiers = ModifiersFromEvent(event);
  if (!event) return;
  UINTN argument = Pack(centre->modifiers, centre->key_code);
  if (event->Type & kTarnEventKeyPressed) {
    centre->key_down = 1;
    (void)RunLoopExecuteDeferredFunc(KeyDownDeferred, centre, argument, "_KA_defferred_KeyboardEventHandler_keyDown");  // logged there
  } else if (event->Type & kTarnEventModifiersPressed) {
    centre->key_down = 1;
    (void)RunLoopExecuteDeferredFunc(ModifiersDeferred, centre, argument, "_KA_defferred_KeyboardEventHandler_modifiers");
  } else if (event->Type & kTarnEventModifiersReleased) {
    centre->key_down = 0;
    (void)RunLoopExecuteDeferredFunc(ModifiersDeferred, centre, argument, "_KA_defferred_KeyboardEventHandler_modifiers");
  }
}

}  // namespace

UINT32 KeyboardCenterSlotForKey(UINT16 key_code, UINT16 modifiers) {
  switch (key_code) {
    case 0x7052: return kKeyActionUp;
    case 0x7051: return kKeyActionDown;
    case 0x7050: return kKeyActionLeft;
    case 0x704F: return kKeyActionRight;
    case 0x7029: return kKeyActionEscape;
    case 0x7028:
    case 0x7058: return kKeyActionReturn;
    case 0x702B: return kKeyActionTab;
    case 0x703E: return Has(modifiers, kModifierCommand) ? kKeyActionCommandF5 : kKeyActionOther;
    case 0x703A: return AllFour(modifiers) ? kKeyActionAllModifiersF1 : kKeyActionOther;
    case 0x703B: return AllFour(modifiers) ? kKeyActionAllModifiersF2 : kKeyActionOther;
    case 0x702C: return Has(modifiers, kModifierCommand) ? kKeyActionCommandSpace : kKeyActionOther;
    default: return kKeyActionOther;
  }
}

UINTN KeyboardCenterCreate(KeyboardCenter** out, void* owner) {
  if (!out) {
    DULogError("KeyboardCenterCreate", "kcenter is NULL\n");
    return 1;
  }
  auto* centre = static_cast<KeyboardCenter*>(PoolAllocateZero(sizeof(KeyboardCenter)));
  if (!centre) {
    DULogError("KeyboardCenterCreate", "out of memory\n");
    return 1;
  }
  centre->context = owner;
  centre->key_code = 0xFFFF;
  *out = centre;
  return 0;
}

void KeyboardCenterDestroy(KeyboardCenter* centre) {
  if (!centre) return;
  if (centre->priv.eventHandle) (void)KeyboardCenterStop(centre);  // logged inside
  PoolFree(centre);
}

UINTN KeyboardCenterStart(KeyboardCenter* centre) {
  if (!centre) {
    DULogError("KeyboardCenterStart", "kcenter is NULL\n");
    return 1;
  }
  if (centre->priv.eventHandle) {
    DULogError("KeyboardCenterStart", "kcenter->priv.eventHandle is not NULL, keyboard center was already started?\n");
    return 1;
  }
  TarnEventProtocol* events = nullptr;
  (void)ObtainCurrentTarnEventProtocol(&events);  // always succeeds
  TarnEventHandle handle = nullptr;
  EFI_STATUS status = events->RegisterHandler(kKeyboardCenterEventMask, KeyboardEventHandler, &handle, centre);
  if (EFI_ERROR(status)) {
    DULogError("_KA_RegisterKeyDownEventHandler", "ae->RegisterHandler failed: %d\n", INT32(status));
    return 1;
  }
  centre->priv.eventHandle = handle;
  return 0;
}

UINTN KeyboardCenterStop(KeyboardCenter* centre) {
  if (!centre) {
    DULogError("KeyboardCenterStop", "kcenter is NULL\n");
    return 1;
  }
  if (!centre->priv.eventHandle) {
    DULogError("KeyboardCenterStop", "kcenter->priv.eventHandle is NULL, keyboard center was not started?\n");
    return 1;
  }
  TarnEventProtocol* events = nullptr;
  (void)ObtainCurrentTarnEventProtocol(&events);  // always succeeds
  EFI_STATUS status = events->UnregisterHandler(centre->priv.eventHandle);
  if (EFI_ERROR(status)) {
    DULogError("_KA_UnregisterKeyDownEventHandler", "ae->UnregisterHandler(ka->eventHandle) failed: %d\n", INT32(status));
    return 1;
  }
  centre->priv.eventHandle = nullptr;
  return 0;
}

UINTN KeyboardCenterClearActions(KeyboardCenter* centre) {
  if (!centre) {
    DULogError("KeyboardCenterClearActions", "kcenter is NULL\n");
    return 1;
  }
  for (KeyboardCenterAction& action : centre->actions) action = nullptr;
  return 0;
}

KeyboardCenterAction* KeyboardCenterActions(KeyboardCenter* centre) {
  if (!centre) {
    DULogError("KeyboardCenterActions", "kcenter is NULL\n");
    return nullptr;
  }
  return centre->actions;
}

UINT64 KeyboardCenterKeyEventCount(const KeyboardCenter* centre) { return centre ? centre->key_event_count : 0; }
