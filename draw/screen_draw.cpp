// Lazy redraw: only the union of what the marked views cover now and covered when last
// drawn is refilled, recomposited bottom to top and transferred to the display.
#include "draw/display.h"
#include "draw/screen.h"

namespace {

void MarkClean(DUView* view) {
  view->dirty = view->frame;
  view->needs_display = FALSE;
}

void AddIfMarked(const DUView* view, DURect* area) {
  if (!view || !view->needs_display) return;
  DURectUnion(*area, view->dirty, area);
  DURectUnion(*area, view->frame, area);
}

// The area to repaint, clipped to the screen; false when there is none.
bool RedrawArea(DUScreen* screen, DURect* area) {
  DURect whole{0, 0, screen->size.height, screen->size.width};
  DURect wanted = screen->damage;
  if (!screen->drawn_once) {
    wanted = whole;
  } else {
    for (const DUView* view = screen->views; view; view = view->next) AddIfMarked(view, &wanted);
    AddIfMarked(screen->cursor, &wanted);
  }
  if (DURectIsEmpty(wanted)) return false;
  return DURectIntersection(wanted, whole, area) == EFI_SUCCESS;
}

// EFI_NOT_FOUND from a view means it lies outside the area: its marks stay as they are.
EFI_STATUS DrawView(DUView* view, const DURect* area) {
  if (!view->visible || view->transparency == 255 || view->kind == kDUViewKindGroup) {
    MarkClean(view);
    return EFI_SUCCESS;
  }
  EFI_STATUS status = view->callbacks.draw ? view->callbacks.draw(view, area) : DUViewDrawDefault(view, area);
  if (status == EFI_NOT_FOUND) return EFI_SUCCESS;
  if (EFI_ERROR(status)) return status;
  MarkClean(view);
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS DUScreenDraw(DUScreen* screen) {
  if (!screen) return EFI_INVALID_PARAMETER;
  if (!DUIsInitialized()) return EFI_NOT_READY;
  if (!screen->back_buffer) return EFI_BAD_BUFFER_SIZE;
  DURect area{};
  if (!RedrawArea(screen, &area)) return EFI_SUCCESS;
  DUFillBufferRect(screen->fill_colour, screen->back_buffer, screen->size, area);
  if (DUView* background = screen->background) {
    EFI_STATUS status =
        background->callbacks.draw ? background->callbacks.draw(background, &area) : DUViewDrawDefault(background, &area);
    if (EFI_ERROR(status) && status != EFI_NOT_FOUND) return status;
  }
  for (DUView* view = screen->views; view; view = view->next) {
    EFI_STATUS status = DrawView(view, &area);
    if (EFI_ERROR(status)) return status;
  }
  if (screen->cursor) {
    EFI_STATUS status = DrawView(screen->cursor, &area);
    if (EFI_ERROR(status)) return status;
  }
  screen->drawn_once = TRUE;
  screen->damage = DURect{0, 0, 0, 0};
  return DUDisplayTransfer(screen->back_buffer, screen->size.width, area);
}
