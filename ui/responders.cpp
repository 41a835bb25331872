#include "ui/responders.h"

#include "memory/memory.h"
#include "ui/event_protocol.h"
#include "ui/tpl_lock.h"

namespace {

DUResponder*& Head(DUScreen* screen) { return *reinterpret_cast<DUResponder**>(&screen->responders); }

struct ResponderState {
  RecursiveTplLock lock;
  UINT32 live;          // records not marked removed
  BOOLEAN dispatching;  // the dispatcher is walking the list
};

ResponderState* State(DUScreen* screen) { return static_cast<ResponderState*>(screen->lock); }

void Acquire(DUScreen* screen) { RecursiveTplLockAcquire(&State(screen)->lock); }
void Release(DUScreen* screen) { RecursiveTplLockRelease(&State(screen)->lock); }

void Unlink(DUScreen* screen, DUResponder* record) {
  for (DUResponder** link = &Head(screen); *link; link = &(*link)->next) {
    if (*link == record) {
      *link = record->next;
      return;
    }
  }
}

void DropInputRegistration(DUScreen* screen) {
  if (!screen->input_registration) return;
  TarnEventProtocol* events = nullptr;
  ObtainCurrentTarnEventProtocol(&events);
  events->UnregisterHandler(screen->input_registration);
  screen->input_registration = nullptr;
}

// Unlinks and frees every record marked removed.
void Sweep(DUScreen* screen) {
  for (DUResponder** link = &Head(screen); *link;) {
    DUResponder* record = *link;
    if (!record->removed) {
      link = &record->next;
      continue;
    }
    *link = record->next;
    PoolFree(record);
  }
}

void EFIAPI Dispatch(TarnEventRecord* event, void* context) {
  auto* screen = static_cast<DUScreen*>(context);
  if (!event || !screen || !State(screen)) return;
  Acquire(screen);
  State(screen)->dispatching = TRUE;
  for (DUResponder* record = Head(screen); record; record = record->next) {
    DUView* view = record->view;
    if (!view) break;
    if (record->removed || !view->visible || view->transparency == 255) continue;  // removed: the view may be gone
    if ((event->Type & record->mask) && record->callback && record->callback(view, event, record->context)) break;
  }
  State(screen)->dispatching = FALSE;
  Acquire(screen);
  Sweep(screen);
  Release(screen);
  Release(screen);
}

// A view leaves the screen: its record goes at once, or, when a callback removed the view
// while the dispatcher walks the list, with the dispatcher's sweep.
void ViewRemoved(DUScreen* screen, DUView* view) {
  if (!State(screen)) return;
  Acquire(screen);
  for (DUResponder* record = Head(screen); record; record = record->next) {
    if (record->view != view) continue;
    if (!record->removed && State(screen)->live > 0) --State(screen)->live;
    record->removed = TRUE;
    if (!State(screen)->dispatching) {
      Unlink(screen, record);
      PoolFree(record);
    }
    break;
  }
  bool none_left = State(screen)->live == 0;
  Release(screen);
  if (none_left) DropInputRegistration(screen);
}

// The screen goes: its registration, every record and the lock.
void ScreenDestroyed(DUScreen* screen) {
  DropInputRegistration(screen);
  while (DUResponder* record = Head(screen)) {
    Head(screen) = record->next;
    PoolFree(record);
  }
  PoolFree(screen->lock);
  screen->lock = nullptr;
}

constexpr DUScreenOps kResponderOps = {ViewRemoved, ScreenDestroyed};

bool ViewOfScreen(const DUScreen* screen, const DUView* view) {
  if (view->screen != screen) return false;
  for (const DUView* v = screen->views; v; v = v->next) {
    if (v == view) return true;
  }
  return view == screen->background || view == screen->cursor;
}

}  // namespace

DUResponder* DUScreenResponderOfView(const DUScreen* screen, const DUView* view) {
  if (!screen || !view) return nullptr;
  for (DUResponder* record = static_cast<DUResponder*>(screen->responders); record; record = record->next) {
    if (record->view == view && !record->removed) return record;
  }
  return nullptr;
}

EFI_STATUS DUScreenRegisterResponder(DUScreen* screen, DUView* view, UINT32 mask, DUResponderCallback callback,
                                     void* context) {
  if (!screen || !view || !callback || !ViewOfScreen(screen, view)) return EFI_INVALID_PARAMETER;
  if (mask == 0) return EFI_UNSUPPORTED;
  if (!screen->lock) {
    auto* state = static_cast<ResponderState*>(PoolAllocateZero(sizeof(ResponderState)));
    if (!state) return EFI_OUT_OF_RESOURCES;
    RecursiveTplLockInit(&state->lock);
    screen->lock = state;
    screen->ops = &kResponderOps;
  }
  Acquire(screen);
  if (!screen->input_registration) {
    TarnEventProtocol* events = nullptr;
    ObtainCurrentTarnEventProtocol(&events);
    TarnEventHandle handle = nullptr;
    EFI_STATUS status = events->RegisterHandler(kTarnEventAll, Dispatch, &handle, screen);
    if (EFI_ERROR(status)) {
      Release(screen);
      return status;
    }
    screen->input_registration = handle;
  }
  if (DUResponder* record = DUScreenResponderOfView(screen, view)) {
    record->mask = mask;
    record->callback = callback;
    record->context = context;
    Release(screen);
    return EFI_SUCCESS;
  }
  auto* record = static_cast<DUResponder*>(PoolAllocateZero(sizeof(DUResponder)));
  if (!record) {
    Release(screen);
    return EFI_OUT_OF_RESOURCES;
  }
  *record = DUResponder{mask, callback, context, view, FALSE, nullptr};
  // Before the first record whose view lies lower: equal z-orders keep registration order.
  DUResponder** link = &Head(screen);
  while (*link && (*link)->view && (*link)->view->z_order >= view->z_order) link = &(*link)->next;
  record->next = *link;
  *link = record;
  ++State(screen)->live;
  Release(screen);
  return EFI_SUCCESS;
}

EFI_STATUS DUScreenUnregisterResponder(DUScreen* screen, DUView* view) {
  if (!screen || !view || view->screen != screen || !State(screen)) return EFI_INVALID_PARAMETER;
  Acquire(screen);
  DUResponder* record = DUScreenResponderOfView(screen, view);
  if (!record) {
    Release(screen);
    return EFI_INVALID_PARAMETER;
  }
  record->removed = TRUE;
  bool last = --State(screen)->live == 0;
  Release(screen);
  if (last) DropInputRegistration(screen);
  return EFI_SUCCESS;
}
