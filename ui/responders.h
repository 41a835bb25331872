// A screen's responder registry: views that asked for input events receive them topmost
// first (highest z-order; among equal z-orders the earlier registration), and a callback
// that handles an event keeps it from the views below. The screen registers one dispatcher
// with the input-event protocol while it has at least one live responder.
#pragma once

#include "draw/screen.h"
#include "efi/protocols/tarn_event.h"

// Returns TRUE when it handled the event (views below do not see it).
typedef BOOLEAN (*DUResponderCallback)(DUView* view, TarnEventRecord* event, void* context);

struct DUResponder {
  UINT32 mask;
  DUResponderCallback callback;
  void* context;
  DUView* view;
  BOOLEAN removed;  // unregistered; freed by the dispatcher's next sweep
  DUResponder* next;
};

// EFI_INVALID_PARAMETER for a null screen, view or callback or a view of another screen,
// EFI_UNSUPPORTED for an empty mask, EFI_OUT_OF_RESOURCES, or the input-event protocol's
// error when the screen's dispatcher cannot be registered. A view that has a record
// already gets the new mask, callback and context in its old place.
EFI_STATUS DUScreenRegisterResponder(DUScreen* screen, DUView* view, UINT32 mask, DUResponderCallback callback,
                                     void* context);
// Marks the view's record removed (safe from inside a callback); the last live one takes
// the screen's dispatcher off the input-event protocol. EFI_INVALID_PARAMETER when the view
// is not this screen's or has no record.
EFI_STATUS DUScreenUnregisterResponder(DUScreen* screen, DUView* view);

// The view's live record, or null.
DUResponder* DUScreenResponderOfView(const DUScreen* screen, const DUView* view);
