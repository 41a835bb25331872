// Firmware timer events for the login toolkit. Notification functions run at a raised task
// priority and must only defer work to the run loop. Periods are in 100 ns units.
#pragma once

#include "efi/efi.h"

// A timer whose notification (may be null: a plain timer event) runs at TPL_NOTIFY, armed
// periodic or one-shot (relative). Null when the event cannot be created or armed.
EFI_EVENT TimerCreate(EFI_EVENT_NOTIFY notify, void* context, UINT64 period, BOOLEAN periodic);
// The same with the notification at TPL_CALLBACK.
EFI_EVENT TimerCreateAtCallbackLevel(EFI_EVENT_NOTIFY notify, void* context, UINT64 period, BOOLEAN periodic);
// Cancels and closes the timer; a timer whose cancel fails stays open. Null is ignored.
void TimerDestroy(EFI_EVENT timer);
// TimerDestroy, then forgets the timer (*timer becomes null).
void TimerRelease(EFI_EVENT* timer);

// 100 ns units per millisecond.
constexpr UINT64 kTimerUnitsPerMillisecond = 10000;
