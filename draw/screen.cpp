#include "draw/screen.h"

#include "draw/display.h"
#include "memory/memory.h"

EFI_STATUS DUScreenCreate(DUPixel fill_colour, DUScreen** out) {
  if (!out) return EFI_INVALID_PARAMETER;
  *out = nullptr;
  if (!DUIsInitialized()) return EFI_NOT_READY;
  DUSize size = DUDisplaySize();
  if (size.width <= 0 || size.height <= 0) return EFI_NOT_READY;
  auto* screen = static_cast<DUScreen*>(PoolAllocateZero(sizeof(DUScreen)));
  UINTN pixels = UINTN(size.width) * UINTN(size.height);
  auto* back_buffer = static_cast<DUPixel*>(PoolAllocate(pixels * sizeof(DUPixel)));
  if (!screen || !back_buffer) {
    PoolFree(screen);
    PoolFree(back_buffer);
    return EFI_OUT_OF_RESOURCES;
  }
  for (UINTN i = 0; i < pixels; ++i) back_buffer[i] = fill_colour;
  screen->back_buffer = back_buffer;
  screen->size = size;
  screen->fill_colour = fill_colour;
  *out = screen;
  return EFI_SUCCESS;
}

EFI_STATUS DUScreenDestroy(DUScreen* screen) {
  if (!screen) return EFI_INVALID_PARAMETER;
  PoolFree(screen->back_buffer);
  screen->back_buffer = nullptr;
  if (screen->background) DUViewDestroy(screen->background);
  if (screen->cursor) DUViewDestroy(screen->cursor);
  while (screen->views) DUScreenRemoveView(screen, screen->views);
  if (screen->ops && screen->ops->destroyed) screen->ops->destroyed(screen);
  PoolFree(screen);
  return EFI_SUCCESS;
}

EFI_STATUS DUScreenSetBackgroundView(DUScreen* screen, DUView* view) {
  if (!screen || !view || view->frame.width > screen->size.width || view->frame.height > screen->size.height ||
      (view->screen && view->screen != screen)) {
    return EFI_INVALID_PARAMETER;
  }
  if (screen->background == view) return EFI_SUCCESS;
  DUScreenUnlinkView(screen, view);
  if (screen->background) DUViewDestroy(screen->background);
  DURectCenterInRect(DUSize{view->frame.height, view->frame.width}, DURect{0, 0, screen->size.height, screen->size.width},
                     &view->frame);
  view->screen = screen;
  screen->background = view;
  screen->drawn_once = FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS DUScreenSetCursorView(DUScreen* screen, DUView* view) {
  if (!screen || (view && view->screen && view->screen != screen)) return EFI_INVALID_PARAMETER;
  if (screen->cursor == view) return EFI_SUCCESS;
  if (view) DUScreenUnlinkView(screen, view);
  if (screen->cursor) DUViewDestroy(screen->cursor);
  screen->cursor = view;
  if (view) {
    view->screen = screen;
    view->needs_display = TRUE;
  }
  return EFI_SUCCESS;
}

void DUScreenInsertView(DUScreen* screen, DUView* view) {
  DUView** link = &screen->views;
  while (*link && (*link)->z_order <= view->z_order) link = &(*link)->next;
  view->next = *link;
  *link = view;
}

EFI_STATUS DUScreenAddView(DUScreen* screen, DUView* view) {
  if (!screen || !view || view->screen || view->kind > kDUViewKindMax) return EFI_INVALID_PARAMETER;
  view->screen = screen;
  DUScreenInsertView(screen, view);
  if (view->callbacks.added_to_screen) view->callbacks.added_to_screen(view);
  return EFI_SUCCESS;
}

bool DUScreenUnlinkView(DUScreen* screen, DUView* view) {
  bool found = false;
  if (screen->background == view) {
    screen->background = nullptr;
    found = true;
  }
  if (screen->cursor == view) {
    screen->cursor = nullptr;
    found = true;
  }
  for (DUView** link = &screen->views; *link; link = &(*link)->next) {
    if (*link == view) {
      *link = view->next;
      view->next = nullptr;
      found = true;
      break;
    }
  }
  if (found) {
    // What it showed is repainted with the next draw.
    DURectUnion(screen->damage, view->dirty, &screen->damage);
    DURectUnion(screen->damage, view->frame, &screen->damage);
  }
  return found;
}

EFI_STATUS DUScreenRemoveView(DUScreen* screen, DUView* view) {
  if (!screen || !view) return EFI_INVALID_PARAMETER;
  if (!DUScreenUnlinkView(screen, view)) return EFI_NOT_FOUND;
  if (view->callbacks.removed_from_screen) view->callbacks.removed_from_screen(view);
  if (screen->ops && screen->ops->view_removed) screen->ops->view_removed(screen, view);
  view->screen = nullptr;
  return DUViewDestroy(view);
}

EFI_STATUS DUViewCreateGroup(DUScreen* screen, DUView** out) {
  if (!screen || !out) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = DUViewCreate(DURect{0, 0, 0, 0}, out);
  if (EFI_ERROR(status)) return status;
  (*out)->kind = kDUViewKindGroup;
  return DUScreenAddView(screen, *out);
}
