#include "ui/view_ticket.h"

#include "memory/memory.h"
#include "ui/run_loop.h"

namespace {

EFI_STATUS Run(RunLoop*, void* context, UINTN argument) {
  auto* ticket = static_cast<UIViewTicket*>(context);
  --ticket->queued;
  DUView* view = ticket->view;
  if (!view) {
    if (ticket->queued == 0) PoolFree(ticket);
    return EFI_SUCCESS;
  }
  reinterpret_cast<UIViewTicketFunction>(argument)(view);
  return EFI_SUCCESS;
}

}  // namespace

UIViewTicket* UIViewTicketCreate(DUView* view) {
  auto* ticket = static_cast<UIViewTicket*>(PoolAllocateZero(sizeof(UIViewTicket)));
  if (ticket) ticket->view = view;
  return ticket;
}

INTN UIViewTicketDefer(UIViewTicket* ticket, UIViewTicketFunction function, const char* name) {
  if (!ticket || !function) return 1;
  INTN result = RunLoopExecuteDeferredFunc(Run, ticket, reinterpret_cast<UINTN>(function), name);
  if (result == 0) ++ticket->queued;
  return result;
}

void UIViewTicketRelease(UIViewTicket* ticket) {
  if (!ticket) return;
  ticket->view = nullptr;
  if (ticket->queued == 0) PoolFree(ticket);
}
