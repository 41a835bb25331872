// Inside the built-in input-event implementation: its state, the event queue, and the
// pointer and keyboard pollers. Everything here runs at TPL_NOTIFY except arming and
// teardown.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/simple_pointer.h"
#include "efi/protocols/tarn_event.h"
#include "ui/tpl_lock.h"

constexpr UINT64 kPointerPollPeriod = 20000;    // 2 ms
constexpr UINT64 kKeyboardPollPeriod = 100000;  // 10 ms
constexpr UINT32 kEventQueueSignature = 0x51764554;  // "TEvQ"
// Events waiting for the dispatcher; more are dropped (and counted) until it has run.
constexpr UINTN kEventQueueRoom = 128;
constexpr UINTN kMaxPointerDevices = 8;
constexpr UINTN kMaxHeldKeys = 16;
// Click timing in pointer polls, and the distance a click may wander.
constexpr UINT32 kClickPolls = 75;          // 150 ms from press to release
constexpr UINT32 kDoubleClickPolls = 375;   // 750 ms between clicks
constexpr INT32 kClickSlop = 5;
constexpr INT32 kFallbackScreenWidth = 800;
constexpr INT32 kFallbackScreenHeight = 600;

struct BuiltinHandler {
  UINT32 mask;
  TarnEventHandler handler;
  void* context;
  BOOLEAN active;
  BOOLEAN armed;  // set at the start of a dispatch: handlers added during one miss it
  const CHAR8* name;
  BuiltinHandler* next;
};

struct QueuedEvent {
  UINT32 signature;
  BOOLEAN in_use;
  QueuedEvent* next;
  TarnEventRecord record;
  TarnEventKeyData key;
};

struct PointerButton {
  BOOLEAN down;
  UINT32 down_tick;
  TarnEventPosition down_at;
  BOOLEAN last_was_click;  // the previous click of this button was a single click
  UINT32 last_click_tick;
  TarnEventPosition last_click_at;
};

struct BuiltinEvents {
  TarnEventProtocol protocol;
  BOOLEAN armed;
  FirmwareLock lock;
  EFI_EVENT dispatch_event;
  EFI_EVENT pointer_arrival_event;
  void* pointer_registration;
  EFI_EVENT pointer_timer;
  EFI_EVENT keyboard_timer;
  BuiltinHandler* handlers;
  UINT32 live_handlers;
  QueuedEvent slots[kEventQueueRoom];
  QueuedEvent* queue_head;
  QueuedEvent* queue_tail;
  UINT64 dropped_events;
  EFI_SIMPLE_POINTER_PROTOCOL* pointers[kMaxPointerDevices];
  UINTN pointer_count;
  TarnEventPosition position;
  INT32 screen_width;
  INT32 screen_height;
  UINT32 pointer_tick;
  PointerButton buttons[2];  // primary, secondary
  UINT16 modifiers;
  UINT16 held_keys[kMaxHeldKeys];
  UINTN held_count;
  BOOLEAN caps_lock;
  UINT8 time[8];  // the firmware time, read at application level
};

extern BuiltinEvents gBuiltinEvents;

// Queues an event for the dispatcher and signals it; key is copied when given.
void BuiltinQueueEvent(UINT32 type, UINT64 data, UINT32 modifiers, const TarnEventKeyData* key);

// One poll of every pointer device / of the key-map protocol (the timers' work).
void BuiltinPollPointers();
void BuiltinPollKeyboard();
// Finds the pointer devices again (at arming and when a new one arrives).
void BuiltinFindPointerDevices();
// The screen size for clamping the pointer.
void BuiltinReadScreenSize();
