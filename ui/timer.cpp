#include "ui/timer.h"

namespace {

EFI_EVENT Create(EFI_EVENT_NOTIFY notify, void* context, UINT64 period, BOOLEAN periodic, EFI_TPL tpl) {
  UINT32 type = notify ? (EVT_TIMER | EVT_NOTIFY_SIGNAL) : EVT_TIMER;
  EFI_EVENT event = nullptr;
  if (EFI_ERROR(gBS->CreateEvent(type, tpl, notify, context, &event))) return nullptr;
  if (EFI_ERROR(gBS->SetTimer(event, periodic ? TimerPeriodic : TimerRelative, period))) {
    gBS->CloseEvent(event);
    return nullptr;
  }
  return event;
}

}  // namespace

EFI_EVENT TimerCreate(EFI_EVENT_NOTIFY notify, void* context, UINT64 period, BOOLEAN periodic) {
  return Create(notify, context, period, periodic, TPL_NOTIFY);
}

EFI_EVENT TimerCreateAtCallbackLevel(EFI_EVENT_NOTIFY notify, void* context, UINT64 period, BOOLEAN periodic) {
  return Create(notify, context, period, periodic, TPL_CALLBACK);
}

void TimerDestroy(EFI_EVENT timer) {
  if (!timer) return;
  if (EFI_ERROR(gBS->SetTimer(timer, TimerCancel, 0))) return;
  gBS->CloseEvent(timer);
}

void TimerRelease(EFI_EVENT* timer) {
  TimerDestroy(*timer);
  *timer = nullptr;
}
