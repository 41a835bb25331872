#include "draw/view.h"

#include "draw/log_error.h"
#include "draw/screen.h"
#include "memory/memory.h"

namespace {

constexpr DUPixel kTransparent = 0xFF000000;

UINTN PixelBytes(DUSize size) {
  return size.width > 0 && size.height > 0 ? UINTN(size.width) * UINTN(size.height) * sizeof(DUPixel) : 0;
}

DUView* NewView(const DURect& frame) {
  auto* view = static_cast<DUView*>(PoolAllocateZero(sizeof(DUView)));
  if (!view) return nullptr;
  view->frame = frame;
  view->content_size = DUSize{frame.height, frame.width};
  view->needs_display = TRUE;
  view->visible = TRUE;
  view->z_order = kDUZOrderDefault;
  view->callbacks.draw = DUViewDrawDefault;
  view->scaling.cache = &view->scaled_copies;
  return view;
}

// A transparent buffer for size, or null.
DUPixel* NewBuffer(DUSize size) {
  UINTN bytes = PixelBytes(size);
  auto* pixels = static_cast<DUPixel*>(PoolAllocate(bytes));
  if (pixels) {
    for (UINTN i = 0; i < bytes / sizeof(DUPixel); ++i) pixels[i] = kTransparent;
  }
  return pixels;
}

// The area the view covered (and covers) is repainted with the next draw.
void MarkMoved(DUView* view) {
  DURectUnion(view->dirty, view->frame, &view->dirty);
  view->needs_display = TRUE;
}

// Moves view without asking an animation and without touching its follower.
void MoveTo(DUView* view, DUPoint origin) {
  if (view->frame.x == origin.x && view->frame.y == origin.y) return;
  MarkMoved(view);
  view->frame.x = origin.x;
  view->frame.y = origin.y;
  DUViewLayoutAttachments(view);
}

bool AnimationRunning(DUView* view) {
  return view->animation && view->animation_ops && view->animation_ops->running && view->animation_ops->running(view);
}

}  // namespace

EFI_STATUS DUViewCreate(const DURect& frame, DUView** out) {
  if (!out) return EFI_INVALID_PARAMETER;
  *out = nullptr;
  DUView* view = NewView(frame);
  if (!view) return EFI_OUT_OF_RESOURCES;
  if (!DURectIsEmpty(frame)) {
    view->pixels = NewBuffer(view->content_size);
    if (!view->pixels) {
      PoolFree(view);
      return EFI_OUT_OF_RESOURCES;
    }
    view->pixels_size = PixelBytes(view->content_size);
  }
  *out = view;
  return EFI_SUCCESS;
}

EFI_STATUS DUViewCreateWithImage(const DURect& frame, DUPixel* pixels, UINTN byte_size, DUView** out) {
  if (!out || !pixels || byte_size < PixelBytes(DUSize{frame.height, frame.width})) {
    PoolFree(pixels);
    return EFI_INVALID_PARAMETER;
  }
  *out = NewView(frame);
  if (!*out) {
    PoolFree(pixels);
    return EFI_OUT_OF_RESOURCES;
  }
  (*out)->pixels = pixels;
  (*out)->pixels_size = byte_size;
  return EFI_SUCCESS;
}

UINTN DUViewSwapImageWithImage(DUView* view, DUPixel* pixels, DUSize size, UINTN byte_size) {
  if (!view) {
    DULogError("DUViewSwapImageWithImage", "view is NULL, impossible to swap buffer");
    return 1;
  }
  if (!pixels) {
    DULogError("DUViewSwapImageWithImage", "buffer is NULL, impossible to swap buffer");
    return 1;
  }
  if (size.width != view->content_size.width || size.height != view->content_size.height ||
      byte_size < PixelBytes(size)) {
    DULogError("DUViewSwapImageWithImage", "View swap only works for images with same dimension");
    return 1;
  }
  PoolFree(view->pixels);
  view->pixels = pixels;
  view->pixels_size = byte_size;
  // Copies of the old picture must not be drawn for the new one.
  DUScaledCopiesFree(&view->scaled_copies);
  view->needs_display = TRUE;
  return 0;
}

EFI_STATUS DUViewDestroy(DUView* view) {
  if (!view || view->kind > kDUViewKindMax) return EFI_INVALID_PARAMETER;
  if (view->callbacks.destroy) view->callbacks.destroy(view);
  // Marked first: a view attached in a ring comes back here through its neighbours.
  view->kind = kDUViewKindDestroyed;
  DUScreen* screen = view->screen;
  if (screen) {
    DUScreenUnlinkView(screen, view);
    if (screen->ops && screen->ops->view_removed) screen->ops->view_removed(screen, view);
  }
  while (view->attachments) {
    DUView* other = view->attachments->other;
    DUViewDetach(view, other);
    if (other->screen && other->kind <= kDUViewKindMax) DUScreenRemoveView(other->screen, other);
  }
  if (view->animation_ops && view->animation_ops->release) view->animation_ops->release(view);
  DUScaledCopiesFree(&view->scaled_copies);
  PoolFree(view->pixels);
  PoolFree(view);
  return EFI_SUCCESS;
}

EFI_STATUS DUViewDrawDefault(DUView* view, const DURect* clip) {
  if (!view || !view->screen) return EFI_INVALID_PARAMETER;
  if (!view->pixels) return EFI_NOT_FOUND;
  DUScreen* screen = view->screen;
  return DUCompositePixelBuffers(screen->back_buffer, screen->size, clip, view->pixels, view->content_size,
                                 DUPoint{view->frame.x, view->frame.y}, view->transparency, &view->scaling);
}

EFI_STATUS DUViewSetFrame(DUView* view, const DURect& frame) {
  if (!view) return EFI_INVALID_PARAMETER;
  if (DURectEqual(view->frame, frame)) return EFI_SUCCESS;
  DUSize size{frame.height, frame.width};
  // The buffer must hold the content size that drawing reads; a larger frame gets a new one.
  if (PixelBytes(size) > view->pixels_size) {
    DUPixel* pixels = NewBuffer(size);
    if (!pixels) return EFI_OUT_OF_RESOURCES;
    PoolFree(view->pixels);
    view->pixels = pixels;
    view->pixels_size = PixelBytes(size);
  }
  view->content_size = size;
  MarkMoved(view);
  view->frame = frame;
  DUViewLayoutAttachments(view);
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetOriginDirect(DUView* view, DUPoint origin) {
  if (!view) return EFI_INVALID_PARAMETER;
  MoveTo(view, origin);
  if (view->follower && view->follower != view) MoveTo(view->follower, origin);
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetOrigin(DUView* view, DUPoint origin) {
  if (!view) return EFI_INVALID_PARAMETER;
  if (AnimationRunning(view) && view->animation_ops->set_origin) return view->animation_ops->set_origin(view, origin);
  return DUViewSetOriginDirect(view, origin);
}

EFI_STATUS DUViewSetVisible(DUView* view, BOOLEAN visible) {
  if (!view) return EFI_INVALID_PARAMETER;
  visible = visible ? TRUE : FALSE;
  if (view->callbacks.visibility_changed) {
    EFI_STATUS status = view->callbacks.visibility_changed(view, visible);
    if (EFI_ERROR(status)) return status;
  }
  if (view->visible == visible) return EFI_SUCCESS;
  view->visible = visible;
  view->needs_display = TRUE;
  for (DUAttachment* a = view->attachments; a; a = a->next) {
    a->other->visible = visible;
    a->other->needs_display = TRUE;
  }
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetTransparencyDirect(DUView* view, UINT8 transparency) {
  if (!view) return EFI_INVALID_PARAMETER;
  if (view->callbacks.transparency_changed) {
    EFI_STATUS status = view->callbacks.transparency_changed(view, transparency);
    if (EFI_ERROR(status)) return status;
  }
  // Marked for display too: a new transparency shows only when the view is drawn again.
  view->needs_display |= view->transparency != transparency;
  view->transparency = transparency;
  for (DUAttachment* a = view->attachments; a; a = a->next) {
    a->other->needs_display |= a->other->transparency != transparency;
    a->other->transparency = transparency;
  }
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetTransparency(DUView* view, UINT8 transparency) {
  if (!view) return EFI_INVALID_PARAMETER;
  if (AnimationRunning(view) && view->animation_ops->set_transparency) {
    return view->animation_ops->set_transparency(view, transparency);
  }
  return DUViewSetTransparencyDirect(view, transparency);
}

EFI_STATUS DUViewSetNeedsDisplay(DUView* view) {
  if (!view) return EFI_INVALID_PARAMETER;
  view->needs_display = TRUE;
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetZOrder(DUView* view, UINT32 z_order) {
  if (!view || z_order < kDUZOrderMin || z_order > kDUZOrderMax) return EFI_INVALID_PARAMETER;
  if (view->z_order == z_order) return EFI_SUCCESS;
  view->z_order = z_order;
  view->needs_display = TRUE;
  DUScreen* screen = view->screen;
  // A view in a screen's list moves to its new place at once.
  if (screen && screen->background != view && screen->cursor != view && DUScreenUnlinkView(screen, view)) {
    DUScreenInsertView(screen, view);
  }
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetKind(DUView* view, UINT32 kind) {
  if (!view || kind > kDUViewKindMax) return EFI_INVALID_PARAMETER;
  view->kind = kind;
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetCallbacks(DUView* view, DUViewDrawFunction draw, DUViewNotifyFunction destroy,
                              DUViewVisibilityFunction visibility_changed, void* user_data) {
  if (!view) return EFI_INVALID_PARAMETER;
  if (draw) view->callbacks.draw = draw;
  if (destroy) view->callbacks.destroy = destroy;
  if (visibility_changed) view->callbacks.visibility_changed = visibility_changed;
  if (user_data) view->user_data = user_data;
  return EFI_SUCCESS;
}

EFI_STATUS DUViewSetTag(DUView* view, UINT32 tag) {
  if (!view) return EFI_INVALID_PARAMETER;
  view->tag = tag;
  return EFI_SUCCESS;
}

EFI_STATUS DUViewGetTag(const DUView* view, UINT32* tag) {
  if (!view || !tag) return EFI_INVALID_PARAMETER;
  *tag = view->tag;
  return EFI_SUCCESS;
}
