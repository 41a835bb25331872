// Work a widget defers to the run loop must not reach a view destroyed in between: the
// deferral holds a ticket, and the view's destruction only clears the ticket's view. The
// last of the two frees it.
#pragma once

#include "draw/view.h"

struct UIViewTicket {
  DUView* view;    // null once the view is destroyed
  UINT32 queued;   // deferrals not yet run
};

typedef void (*UIViewTicketFunction)(DUView* view);

// Null when memory runs out.
UIViewTicket* UIViewTicketCreate(DUView* view);
// Defers function(view) on the current run loop; it is skipped when the view is gone by
// then. The run loop's result (0 queued).
INTN UIViewTicketDefer(UIViewTicket* ticket, UIViewTicketFunction function, const char* name);
// For the view's destroy callback.
void UIViewTicketRelease(UIViewTicket* ticket);
