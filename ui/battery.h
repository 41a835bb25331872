// The battery monitor of the login window: the battery's state read from the system
// management controller every two seconds, shown as a picture from the battery archive.
#pragma once

#include "draw/screen.h"
#include "ui/archive.h"

enum UIBatteryState : INT32 {
  kUIBatteryUnsupported = 0,
  kUIBatteryCharged = 1,
  kUIBatteryCharging = 2,
  kUIBatteryDischarging = 3,
  kUIBatteryMissing = 4,
  kUIBatteryBad = 5,
};

constexpr UINT64 kUIBatteryTimerPeriod = 20000000;  // 2 s
constexpr UINT8 kUIBatteryUnknownCharge = 255;

struct UIBatteryMonitor;
typedef void (*UIBatteryChanged)(UIBatteryMonitor* monitor, void* context);

struct UIBatteryMonitor {
  DUView** view_slot;
  DUScreen* screen;
  const Archive* archive;
  UIBatteryChanged changed;
  void* context;
  EFI_EVENT timer;
  BOOLEAN tick_queued;
  BOOLEAN destroyed;  // freed by the queued tick
  UINT8 last_charge;  // 255 until the first view
  INT32 last_state;   // -1 until the first view
};

// The first byte of "BATP" (0 and "Failure to get SMC Key: BATP" when it cannot be read).
UINT8 LWIsBatteryPowered();
// One byte of a key. 0, or 1 (logged with the key's characters).
UINTN LWSmcUINT8ForKey(UINT32 key, UINT8* out);
// size bytes of a key. 0, or 1.
UINTN LWSmcValueForKey(UINT32 key, UINTN size, void* out);

// The state from the controller ("BBIN", "BBAD", "BSIn" in that order) and the charge
// (second byte of "BRSC"; 255 when unreadable).
UIBatteryState UIBatteryReadState(UINT8* out_charge);
// The picture of a state: "battery_missing.png", "battery_warning.png" or
// "battery_charging_N.png" / "battery_discharging_N.png" (charged shows charging 100).
// False for the unsupported state.
bool UIBatteryPictureName(UIBatteryState state, UINT8 charge, char* out, UINTN out_size);

// Null, and null in *view_slot, when the machine has no battery support; otherwise the
// monitor with its first view in *view_slot (added to screen when given) and its timer
// running. changed is called (from the run loop) when the state or charge moved.
UIBatteryMonitor* UIBatteryMonitorCreate(DUView** view_slot, DUScreen* screen, const Archive* archive,
                                         UIBatteryChanged changed, void* context);
// Stops the timer and frees the monitor (not the view).
void UIBatteryMonitorDestroy(UIBatteryMonitor* monitor);
// Loads the picture of the current state into a new view that takes the old one's place.
// 0, or 1 (logged).
UINTN UIBatteryMonitorUpdateView(UIBatteryMonitor* monitor);
// What the timer does, callable directly: reads the controller, calls changed on a change.
void UIBatteryMonitorPoll(UIBatteryMonitor* monitor);
