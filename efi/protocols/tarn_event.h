// The maker's input-event protocol: clients register a handler for a set of event types and
// receive event records at TPL_NOTIFY. A firmware instance of revision 7 or later is used as
// it stands; an older one is replaced by hearth's own implementation of the same interface.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kTarnEventProtocolGuid = {0x33BE0EF1, 0x89C9, 0x4A6D, {0xBB, 0x9F, 0x69, 0xDC, 0x8D, 0xD5, 0x16, 0xB9}};

// The revision hearth's implementation reports, and the lowest it takes from the firmware.
constexpr UINTN kTarnEventProtocolRevision = 7;

// Event type bits.
constexpr UINT32 kTarnEventPointerMoved = 0x01;
constexpr UINT32 kTarnEventPointerButton = 0x6E;
constexpr UINT32 kTarnEventKeyPressed = 0x100;
constexpr UINT32 kTarnEventModifiersPressed = 0x400;
constexpr UINT32 kTarnEventModifiersReleased = 0x800;
constexpr UINT32 kTarnEventAll = 0xFFFFFFFF;

// Pointer kinds (the data of pointer events): an action in the low five bits and the button.
constexpr UINT64 kTarnPointerMove = 0x01;
constexpr UINT64 kTarnPointerDown = 0x02;
constexpr UINT64 kTarnPointerUp = 0x04;
constexpr UINT64 kTarnPointerClick = 0x08;
constexpr UINT64 kTarnPointerDoubleClick = 0x10;
constexpr UINT64 kTarnPointerActionMask = 0x1F;
constexpr UINT64 kTarnPointerPrimary = 0x20;
constexpr UINT64 kTarnPointerSecondary = 0x40;

struct TarnEventPosition {
  INT32 X;
  INT32 Y;
};

// What a key event's data points at. The key code is a USB HID keyboard-page usage plus
// 0x7000; the character is the one the firmware reported with the key, 0 when none.
struct TarnEventKeyData {
  UINT16 Modifiers;  // HID modifier bits held with the key
  UINT16 KeyCount;   // keys held, this one included
  UINT16 Character;  // UCS-2, 0 when unknown
  UINT16 KeyCode;
};
static_assert(sizeof(TarnEventKeyData) == 8);
static_assert(offsetof(TarnEventKeyData, KeyCode) == 6);

struct TarnEventRecord {
  UINT8 Time[8];  // the first 8 bytes of the firmware time at creation
  UINT32 Type;
  UINT32 Reserved;
  UINT64 Data;  // pointer events: the kind; key events: a TarnEventKeyData pointer
  UINT32 Modifiers;
  TarnEventPosition Position;
};
static_assert(offsetof(TarnEventRecord, Type) == 8);
static_assert(offsetof(TarnEventRecord, Data) == 16);
static_assert(offsetof(TarnEventRecord, Modifiers) == 24);
static_assert(offsetof(TarnEventRecord, Position) == 28);
static_assert(sizeof(TarnEventRecord) == 40);

typedef VOID* TarnEventHandle;
typedef VOID(EFIAPI* TarnEventHandler)(TarnEventRecord* Event, VOID* Context);

// EFI_INVALID_PARAMETER for a zero mask, a null handler or a null handle slot.
typedef EFI_STATUS(EFIAPI* TarnEventRegisterHandler)(UINT32 TypeMask, TarnEventHandler Handler,
                                                     TarnEventHandle* Handle, VOID* Context);
typedef EFI_STATUS(EFIAPI* TarnEventUnregisterHandler)(TarnEventHandle Handle);
typedef EFI_STATUS(EFIAPI* TarnEventSetCursorPosition)(TarnEventPosition* Position);
typedef EFI_STATUS(EFIAPI* TarnEventSetEventName)(TarnEventHandle Handle, const CHAR8* Name);
typedef EFI_STATUS(EFIAPI* TarnEventIsCapsLockOn)(BOOLEAN* On);

struct TarnEventProtocol {
  UINTN Revision;
  TarnEventRegisterHandler RegisterHandler;
  TarnEventUnregisterHandler UnregisterHandler;
  TarnEventSetCursorPosition SetCursorPosition;
  TarnEventSetEventName SetEventName;
  TarnEventIsCapsLockOn IsCapsLockOn;
};
static_assert(offsetof(TarnEventProtocol, RegisterHandler) == 8);
static_assert(offsetof(TarnEventProtocol, UnregisterHandler) == 16);
static_assert(offsetof(TarnEventProtocol, SetCursorPosition) == 24);
static_assert(offsetof(TarnEventProtocol, SetEventName) == 32);
static_assert(offsetof(TarnEventProtocol, IsCapsLockOn) == 40);
static_assert(sizeof(TarnEventProtocol) == 48);
