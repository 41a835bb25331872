// Pointer polling of the built-in input events: movement scaled by speed, clamped to the
// screen, and button presses, releases, clicks and double clicks timed in polls.
#include "efi/protocols/graphics_output.h"
#include "efi/protocols/uga_draw.h"
#include "memory/owners.h"
#include "ui/event_builtin.h"

namespace {

BuiltinEvents& B() { return gBuiltinEvents; }

constexpr UINT64 kButtonBits[2] = {kTarnPointerPrimary, kTarnPointerSecondary};

// Faster movements go further: the factor grows with the bit length of the delta.
INT32 ScaleDelta(INT32 raw, UINT64 resolution) {
  if (raw == 0) return 0;
  UINT32 magnitude = raw < 0 ? UINT32(0) - UINT32(raw) : UINT32(raw);
  UINT32 bits = 0;
  while (magnitude >> bits) ++bits;
  INT64 factor = (bits > 5 ? 5 : bits) + 1;
  INT64 pixels = INT64(raw) * factor / INT64(resolution ? (resolution > 0x7FFFFFFF ? 0x7FFFFFFF : resolution) : 1);
  if (pixels == 0) pixels = raw < 0 ? -1 : 1;
  if (pixels > 0x7FFFFFFF) pixels = 0x7FFFFFFF;
  if (pixels < -0x7FFFFFFF) pixels = -0x7FFFFFFF;
  return INT32(pixels);
}

INT32 Clamp(INT64 value, INT32 high) { return value < 0 ? 0 : (value > high ? high : INT32(value)); }

bool Near(TarnEventPosition a, TarnEventPosition b) {
  INT64 dx = INT64(a.X) - b.X, dy = INT64(a.Y) - b.Y;
  return dx >= -kClickSlop && dx <= kClickSlop && dy >= -kClickSlop && dy <= kClickSlop;
}

void ButtonChanged(UINTN index, BOOLEAN down) {
  PointerButton& button = B().buttons[index];
  UINT64 bit = kButtonBits[index];
  UINT32 now = B().pointer_tick;
  TarnEventPosition here = B().position;
  if (down) {
    button.down = TRUE;
    button.down_tick = now;
    button.down_at = here;
    BuiltinQueueEvent(kTarnEventPointerButton, bit | kTarnPointerDown, B().modifiers, nullptr);
    return;
  }
  button.down = FALSE;
  BuiltinQueueEvent(kTarnEventPointerButton, bit | kTarnPointerUp, B().modifiers, nullptr);
  if (now - button.down_tick > kClickPolls || !Near(here, button.down_at)) return;
  bool double_click = button.last_was_click && now - button.last_click_tick < kDoubleClickPolls &&
                      Near(here, button.last_click_at);
  BuiltinQueueEvent(kTarnEventPointerButton, bit | (double_click ? kTarnPointerDoubleClick : kTarnPointerClick),
                    B().modifiers, nullptr);
  button.last_was_click = !double_click;
  button.last_click_tick = now;
  button.last_click_at = here;
}

}  // namespace

void BuiltinReadScreenSize() {
  B().screen_width = kFallbackScreenWidth;
  B().screen_height = kFallbackScreenHeight;
  EFI_GRAPHICS_OUTPUT_PROTOCOL* gop = nullptr;
  if ((gST->ConsoleOutHandle && !EFI_ERROR(gBS->HandleProtocol(gST->ConsoleOutHandle, &kEfiGraphicsOutputProtocolGuid,
                                                               reinterpret_cast<VOID**>(&gop)))) ||
      !EFI_ERROR(gBS->LocateProtocol(&kEfiGraphicsOutputProtocolGuid, nullptr, reinterpret_cast<VOID**>(&gop)))) {
    if (gop && gop->Mode && gop->Mode->Info) {
      B().screen_width = INT32(gop->Mode->Info->HorizontalResolution);
      B().screen_height = INT32(gop->Mode->Info->VerticalResolution);
      return;
    }
  }
  EFI_UGA_DRAW_PROTOCOL* uga = nullptr;
  UINT32 width = 0, height = 0, depth = 0, refresh = 0;
  if (!EFI_ERROR(gBS->LocateProtocol(&kEfiUgaDrawProtocolGuid, nullptr, reinterpret_cast<VOID**>(&uga))) && uga &&
      !EFI_ERROR(uga->GetMode(uga, &width, &height, &depth, &refresh)) && width && height) {
    B().screen_width = INT32(width);
    B().screen_height = INT32(height);
  }
}

void BuiltinFindPointerDevices() {
  EFI_SIMPLE_POINTER_PROTOCOL* found[kMaxPointerDevices] = {};
  UINTN found_count = 0;
  HandleBuffer handles;
  if (EFI_ERROR(handles.Locate(kEfiSimplePointerProtocolGuid))) return;
  UINTN count = handles.count();
  // The console's input handle carries the firmware's merge of the devices connected to it;
  // reading both it and the devices would split each movement between the two, so it is
  // read only when it is the one pointer there is.
  EFI_SIMPLE_POINTER_PROTOCOL* merged = nullptr;
  for (UINTN i = 0; i < count && found_count < kMaxPointerDevices; ++i) {
    EFI_SIMPLE_POINTER_PROTOCOL* pointer = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiSimplePointerProtocolGuid, reinterpret_cast<VOID**>(&pointer))) ||
        !pointer) {
      continue;
    }
    if (handles[i] == gST->ConsoleInHandle) {
      merged = pointer;
    } else {
      found[found_count++] = pointer;
    }
  }
  if (found_count == 0 && merged) found[found_count++] = merged;
  // The arrival notification runs below the pollers' level: swap the list in one piece.
  EFI_TPL old = gBS->RaiseTPL(TPL_NOTIFY);
  for (UINTN i = 0; i < found_count; ++i) B().pointers[i] = found[i];
  B().pointer_count = found_count;
  gBS->RestoreTPL(old);
}

void BuiltinPollPointers() {
  ++B().pointer_tick;
  INT64 x = B().position.X, y = B().position.Y;
  BOOLEAN down[2] = {FALSE, FALSE};
  BOOLEAN any_state = FALSE;
  for (UINTN i = 0; i < B().pointer_count; ++i) {
    EFI_SIMPLE_POINTER_PROTOCOL* pointer = B().pointers[i];
    EFI_SIMPLE_POINTER_STATE state{};
    if (EFI_ERROR(pointer->GetState(pointer, &state))) continue;
    any_state = TRUE;
    UINT64 rx = pointer->Mode ? pointer->Mode->ResolutionX : 1;
    UINT64 ry = pointer->Mode ? pointer->Mode->ResolutionY : 1;
    x += ScaleDelta(state.RelativeMovementX, rx);
    y += ScaleDelta(state.RelativeMovementY, ry);
    down[0] = down[0] || state.LeftButton;
    down[1] = down[1] || state.RightButton;
  }
  if (!any_state) return;  // no device changed: buttons stay as they were
  TarnEventPosition moved{Clamp(x, B().screen_width), Clamp(y, B().screen_height)};
  if (moved.X != B().position.X || moved.Y != B().position.Y) {
    B().position = moved;
    BuiltinQueueEvent(kTarnEventPointerMoved, kTarnPointerMove, B().modifiers, nullptr);
  }
  for (UINTN b = 0; b < 2; ++b) {
    if (down[b] != B().buttons[b].down) ButtonChanged(b, down[b]);
  }
}
