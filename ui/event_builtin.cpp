#include "ui/event_builtin.h"

#include "efi/protocols/loaded_image.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "ui/event_protocol.h"
#include "ui/timer.h"

BuiltinEvents gBuiltinEvents = {};

namespace {

TarnEventProtocol* gFirmwareEvents = nullptr;  // the firmware's instance, when kept
using ImageUnload = EFI_STATUS(EFIAPI*)(EFI_HANDLE image);
ImageUnload gPreviousUnload = nullptr;
EFI_LOADED_IMAGE_PROTOCOL* gLoadedImage = nullptr;

void ResetEventState() {
  gBuiltinEvents = {};
  gFirmwareEvents = nullptr;
  gPreviousUnload = nullptr;
  gLoadedImage = nullptr;
}
HEARTH_HOST_RESET(ResetEventState);

BuiltinEvents& B() { return gBuiltinEvents; }

// Holds notifications off while the handler list or the queue changes.
class NotifyGuard {
 public:
  NotifyGuard() : old_(gBS->RaiseTPL(TPL_NOTIFY)) {}
  ~NotifyGuard() { gBS->RestoreTPL(old_); }

 private:
  EFI_TPL old_;
};

void StopPolling() {
  TimerDestroy(B().pointer_timer);
  TimerDestroy(B().keyboard_timer);
  B().pointer_timer = nullptr;
  B().keyboard_timer = nullptr;
}

void EFIAPI PointerTick(EFI_EVENT, void*) { BuiltinPollPointers(); }
void EFIAPI KeyboardTick(EFI_EVENT, void*) { BuiltinPollKeyboard(); }

void StartPolling() {
  if (!B().pointer_timer) B().pointer_timer = TimerCreate(PointerTick, nullptr, kPointerPollPeriod, TRUE);
  if (!B().keyboard_timer) B().keyboard_timer = TimerCreate(KeyboardTick, nullptr, kKeyboardPollPeriod, TRUE);
}

// Events carry the time of the last read: the clock is read only below TPL_NOTIFY, where
// the firmware's time service may be called, never from the pollers.
void ReadTime() {
  EFI_TIME now{};
  if (gRT && CurrentTpl() <= TPL_CALLBACK && !EFI_ERROR(gRT->GetTime(&now, nullptr))) {
    MemCopy(B().time, &now, sizeof(B().time));
  }
}

// Frees the records of handlers that unregistered.
void SweepHandlers() {
  for (BuiltinHandler** link = &B().handlers; *link;) {
    BuiltinHandler* h = *link;
    if (h->active) {
      link = &h->next;
      continue;
    }
    *link = h->next;
    gBS->FreePool(h);
  }
}

QueuedEvent* TakeQueued() {
  QueuedEvent* e = B().queue_head;
  if (e) {
    B().queue_head = e->next;
    if (!B().queue_head) B().queue_tail = nullptr;
  }
  return e;
}

void EFIAPI Dispatch(EFI_EVENT, void*) {
  if (EFI_ERROR(FirmwareLockTryAcquire(&B().lock))) return;
  for (BuiltinHandler* h = B().handlers; h; h = h->next) h->armed = h->active;
  while (QueuedEvent* e = TakeQueued()) {
    for (BuiltinHandler* h = B().handlers; h; h = h->next) {
      if (h->active && h->armed && (h->mask & e->record.Type)) h->handler(&e->record, h->context);
    }
    e->in_use = FALSE;
  }
  SweepHandlers();
  FirmwareLockRelease(&B().lock);
}

void EFIAPI PointerArrived(EFI_EVENT, void*) { BuiltinFindPointerDevices(); }

EFI_STATUS EFIAPI UnloadImage(EFI_HANDLE image) {
  RemoveTarnEventProtocol();
  return gPreviousUnload ? gPreviousUnload(image) : EFI_SUCCESS;
}

EFI_STATUS Arm() {
  if (B().armed) return EFI_SUCCESS;
  FirmwareLockInit(&B().lock, TPL_NOTIFY);
  for (QueuedEvent& slot : B().slots) slot.signature = kEventQueueSignature;
  EFI_STATUS status = gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_NOTIFY, Dispatch, nullptr, &B().dispatch_event);
  if (EFI_ERROR(status)) return status;
  if (!EFI_ERROR(gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, PointerArrived, nullptr,
                                  &B().pointer_arrival_event))) {
    if (EFI_ERROR(gBS->RegisterProtocolNotify(&kEfiSimplePointerProtocolGuid, B().pointer_arrival_event,
                                              &B().pointer_registration))) {
      gBS->CloseEvent(B().pointer_arrival_event);
      B().pointer_arrival_event = nullptr;
    }
  }
  BuiltinReadScreenSize();
  BuiltinFindPointerDevices();
  B().position = TarnEventPosition{B().screen_width / 2, B().screen_height / 2};
  ReadTime();
  B().armed = TRUE;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI RegisterHandler(UINT32 mask, TarnEventHandler handler, TarnEventHandle* handle, VOID* context) {
  if (mask == 0 || !handler || !handle) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = Arm();
  if (EFI_ERROR(status)) return status;
  BuiltinHandler* record = nullptr;
  // Firmware pool, not the tracked allocator: records are freed at TPL_NOTIFY.
  status = gBS->AllocatePool(EfiBootServicesData, sizeof(BuiltinHandler), reinterpret_cast<VOID**>(&record));
  if (EFI_ERROR(status)) return status;
  *record = BuiltinHandler{mask, handler, context, TRUE, FALSE, nullptr, nullptr};
  ReadTime();
  NotifyGuard guard;
  BuiltinHandler** link = &B().handlers;
  while (*link) link = &(*link)->next;
  *link = record;
  if (B().live_handlers++ == 0) StartPolling();
  *handle = record;
  return EFI_SUCCESS;
}

BuiltinHandler* FindLive(TarnEventHandle handle) {
  for (BuiltinHandler* h = B().handlers; h; h = h->next) {
    if (h == handle && h->active) return h;
  }
  return nullptr;
}

EFI_STATUS EFIAPI UnregisterHandler(TarnEventHandle handle) {
  NotifyGuard guard;
  BuiltinHandler* record = FindLive(handle);
  if (!record) return EFI_INVALID_PARAMETER;
  record->active = FALSE;
  if (--B().live_handlers == 0) StopPolling();
  if (!B().lock.acquired) SweepHandlers();  // not inside a dispatch: free it now
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetCursorPosition(TarnEventPosition* position) {
  if (!position) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = Arm();  // the screen size bounds the position
  if (EFI_ERROR(status)) return status;
  NotifyGuard guard;
  B().position.X = position->X < 0 ? 0 : (position->X > B().screen_width ? B().screen_width : position->X);
  B().position.Y = position->Y < 0 ? 0 : (position->Y > B().screen_height ? B().screen_height : position->Y);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetEventName(TarnEventHandle handle, const CHAR8* name) {
  NotifyGuard guard;
  BuiltinHandler* record = FindLive(handle);
  if (!record) return EFI_INVALID_PARAMETER;
  record->name = name;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI IsCapsLockOn(BOOLEAN* on) {
  if (!on) return EFI_INVALID_PARAMETER;
  *on = B().caps_lock;
  return EFI_SUCCESS;
}

}  // namespace

void BuiltinQueueEvent(UINT32 type, UINT64 data, UINT32 modifiers, const TarnEventKeyData* key) {
  NotifyGuard guard;
  QueuedEvent* e = nullptr;
  for (QueuedEvent& slot : B().slots) {
    if (!slot.in_use) {
      e = &slot;
      break;
    }
  }
  if (!e) {
    ++B().dropped_events;
    return;
  }
  e->in_use = TRUE;
  e->next = nullptr;
  e->record = TarnEventRecord{};
  MemCopy(e->record.Time, B().time, sizeof(e->record.Time));
  e->record.Type = type;
  e->record.Modifiers = modifiers;
  e->record.Position = B().position;
  if (key) {
    e->key = *key;
    e->record.Data = reinterpret_cast<UINT64>(&e->key);
  } else {
    e->record.Data = data;
  }
  if (B().queue_tail) {
    B().queue_tail->next = e;
  } else {
    B().queue_head = e;
  }
  B().queue_tail = e;
  if (B().dispatch_event) gBS->SignalEvent(B().dispatch_event);
}

EFI_STATUS InstallTarnEventProtocol(EFI_HANDLE image_handle) {
  if (gFirmwareEvents || B().armed) return EFI_SUCCESS;
  TarnEventProtocol* firmware = nullptr;
  EFI_STATUS status = gBS->LocateProtocol(&kTarnEventProtocolGuid, nullptr, reinterpret_cast<VOID**>(&firmware));
  if (EFI_ERROR(status)) return status;
  if (!firmware) return EFI_NOT_FOUND;
  if (firmware->Revision >= kTarnEventProtocolRevision) {
    gFirmwareEvents = firmware;
    return EFI_SUCCESS;
  }
  if (image_handle && !EFI_ERROR(gBS->HandleProtocol(image_handle, &kEfiLoadedImageProtocolGuid,
                                                      reinterpret_cast<VOID**>(&gLoadedImage))) && gLoadedImage) {
    gPreviousUnload = gLoadedImage->Unload;
    gLoadedImage->Unload = UnloadImage;
  }
  return Arm();
}

EFI_STATUS ObtainCurrentTarnEventProtocol(TarnEventProtocol** out_protocol) {
  if (!out_protocol) return EFI_INVALID_PARAMETER;
  if (gFirmwareEvents) {
    *out_protocol = gFirmwareEvents;
    return EFI_SUCCESS;
  }
  B().protocol = TarnEventProtocol{kTarnEventProtocolRevision, RegisterHandler, UnregisterHandler, SetCursorPosition,
                                   SetEventName, IsCapsLockOn};
  *out_protocol = &B().protocol;
  return EFI_SUCCESS;
}

void RemoveTarnEventProtocol() {
  StopPolling();
  if (B().pointer_arrival_event) gBS->CloseEvent(B().pointer_arrival_event);
  if (B().dispatch_event) gBS->CloseEvent(B().dispatch_event);
  while (BuiltinHandler* h = B().handlers) {
    B().handlers = h->next;
    gBS->FreePool(h);
  }
  if (gLoadedImage && gLoadedImage->Unload == UnloadImage) gLoadedImage->Unload = gPreviousUnload;
  ResetEventState();
}
