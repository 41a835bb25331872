// Attachments: pairs of anchor points that keep views at fixed places relative to each
// other. Each pair is recorded on both views, so either one can lay the other out.
#include "draw/view.h"

#include "memory/memory.h"

namespace {

void Append(DUView* view, DUAttachment* record) {
  DUAttachment** link = &view->attachments;
  while (*link) link = &(*link)->next;
  *link = record;
}

void DropRecordsTo(DUView* view, DUView* other) {
  DUAttachment** link = &view->attachments;
  while (*link) {
    DUAttachment* record = *link;
    if (record->other == other) {
      *link = record->next;
      PoolFree(record);
    } else {
      link = &record->next;
    }
  }
}

}  // namespace

EFI_STATUS DUViewAttach(DUView* view, UINT32 anchor, DUView* other, UINT32 other_anchor, DUPoint offset) {
  if (!view || !other || view == other || anchor > kDUAnchorLeftMiddle || other_anchor > kDUAnchorLeftMiddle) {
    return EFI_INVALID_PARAMETER;
  }
  auto* record = static_cast<DUAttachment*>(PoolAllocateZero(sizeof(DUAttachment)));
  auto* mirror = static_cast<DUAttachment*>(PoolAllocateZero(sizeof(DUAttachment)));
  if (!record || !mirror) {
    PoolFree(record);
    PoolFree(mirror);
    return EFI_OUT_OF_RESOURCES;
  }
  *record = DUAttachment{nullptr, other, anchor, other_anchor, offset};
  *mirror = DUAttachment{nullptr, view, other_anchor, anchor, DUPoint{-offset.x, -offset.y}};
  Append(view, record);
  Append(other, mirror);
  DUViewLayoutAttachments(view);
  return EFI_SUCCESS;
}

EFI_STATUS DUViewAttachGroup(DUView* group, DUView* other) {
  if (!group || !other || group == other) return EFI_INVALID_PARAMETER;
  auto attach = [group](DUView* view) {
    DUPoint offset{view->frame.x - group->frame.x, view->frame.y - group->frame.y};
    return DUViewAttach(group, kDUAnchorBottomRight, view, kDUAnchorTopLeft, offset);
  };
  EFI_STATUS status = attach(other);
  for (DUAttachment* a = other->attachments; a && !EFI_ERROR(status); a = a->next) {
    if (a->other != group) status = attach(a->other);
  }
  return status;
}

void DUViewLayoutAttachments(DUView* view) {
  for (DUAttachment* a = view->attachments; a; a = a->next) {
    DUView* other = a->other;
    DUPoint here{}, there{};
    DURectAnchorPoint(view->frame, a->anchor, &here);
    DURectAnchorPoint(other->frame, a->other_anchor, &there);
    DURect frame = other->frame;
    frame.x = INT32(INT64(frame.x) + here.x - there.x + a->offset.x);
    frame.y = INT32(INT64(frame.y) + here.y - there.y + a->offset.y);
    if (other->callbacks.frame_will_change) other->callbacks.frame_will_change(other, &frame);
    DURectUnion(other->dirty, other->frame, &other->dirty);
    other->frame = frame;
    other->needs_display = TRUE;
  }
}

void DUViewDetach(DUView* view, DUView* other) {
  if (!view || !other) return;
  DropRecordsTo(view, other);
  DropRecordsTo(other, view);
}
