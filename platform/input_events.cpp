#include "platform/input_events.h"

#include "efi/protocols/absolute_pointer.h"
#include "efi/protocols/graphics_output.h"
#include "efi/protocols/simple_pointer.h"
#include "efi/protocols/simple_text_input.h"
#include "efi/protocols/tarn_event.h"
#include "efi/protocols/tarn_key_state.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "memory/owners.h"
#include "platform/serial_output.h"
#include "platform/usb_tablet.h"

namespace {

constexpr UINT64 kPollPeriod = 100000;  // 10 ms
constexpr UINTN kMaxHandlers = 16;
constexpr UINT16 kLeftShift = 0x02;
constexpr UINT32 kShiftStateValid = 0x80000000;
constexpr UINT32 kShiftPressed = 0x00000003;  // right or left shift

struct Handler {
  UINT32 mask;
  TarnEventHandler handler;
  void* context;
  BOOLEAN live;
};

struct InputState {
  BOOLEAN want_events, want_key_map, want_pointer;
  UINTN revision;
  TarnEventProtocol events;
  EFI_HANDLE events_handle;
  Handler handlers[kMaxHandlers];
  UINTN live_handlers;
  EFI_EVENT poll_timer;
  TarnKeyStateProtocol key_map;
  EFI_HANDLE key_map_handle;
  BOOLEAN key_reported;  // the last key-map read reported a key: this one reports its release
  EFI_SIMPLE_POINTER_PROTOCOL pointer;
  EFI_SIMPLE_POINTER_MODE pointer_mode;
  EFI_HANDLE pointer_handle;
  EFI_ABSOLUTE_POINTER_PROTOCOL* absolute;
  BOOLEAN have_absolute_position;
  UINT64 last_absolute_x, last_absolute_y;
  INT32 x, y, width, height;
  BOOLEAN buttons[2];
  TarnEventKeyData key_data;
};
InputState gInput = {};

void ResetInputState() { gInput = {}; }
HEARTH_HOST_RESET(ResetInputState);

// --- Keys ------------------------------------------------------------------------------

struct CharacterKey {
  char plain, shifted;
  UINT8 usage;
};
constexpr CharacterKey kCharacterKeys[] = {
    {'1', '!', 0x1E}, {'2', '@', 0x1F}, {'3', '#', 0x20}, {'4', '$', 0x21}, {'5', '%', 0x22},
    {'6', '^', 0x23}, {'7', '&', 0x24}, {'8', '*', 0x25}, {'9', '(', 0x26}, {'0', ')', 0x27},
    {'\r', 0, 0x28}, {'\b', 0, 0x2A}, {'\t', 0, 0x2B}, {' ', 0, 0x2C}, {'-', '_', 0x2D},
    {'=', '+', 0x2E}, {'[', '{', 0x2F}, {']', '}', 0x30}, {'\\', '|', 0x31}, {';', ':', 0x33},
    {'\'', '"', 0x34}, {'`', '~', 0x35}, {',', '<', 0x36}, {'.', '>', 0x37}, {'/', '?', 0x38},
};

// Firmware scan codes 1..0x17 as keyboard usages (0: none).
constexpr UINT8 kScanUsages[] = {0,    0x52, 0x51, 0x4F, 0x50, 0x4A, 0x4D, 0x49, 0x4C, 0x4B, 0x4E, 0x3A,
                                 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x29};

// The firmware's shift-state bits other than shift and the keyboard modifier bit of each.
struct ModifierBit {
  UINT32 shift_state;
  UINT16 modifier;
};
constexpr ModifierBit kModifierBits[] = {
    {0x00000008, 0x01},  // left control
    {0x00000020, 0x04},  // left alt
    {0x00000080, 0x08},  // left logo: command
    {0x00000004, 0x10},  // right control
    {0x00000010, 0x40},  // right alt
    {0x00000040, 0x80},  // right logo
};

// The usage (plus 0x7000) and modifiers of a keystroke; false for one without a key.
bool KeyUsage(const EFI_INPUT_KEY& key, UINT32 shift_state, UINT16* code, UINT16* modifiers) {
  UINT8 usage = 0;
  bool shifted = (shift_state & kShiftStateValid) && (shift_state & kShiftPressed);
  CHAR16 c = key.UnicodeChar;
  if (c >= 'a' && c <= 'z') {
    usage = UINT8(0x04 + (c - 'a'));
  } else if (c >= 'A' && c <= 'Z') {
    usage = UINT8(0x04 + (c - 'A'));
    shifted = true;
  } else if (c) {
    for (const CharacterKey& k : kCharacterKeys) {
      if (c == CHAR16(k.plain) || (k.shifted && c == CHAR16(k.shifted))) {
        usage = k.usage;
        shifted = shifted || c == CHAR16(k.shifted);
      }
    }
  } else if (key.ScanCode < sizeof(kScanUsages)) {
    usage = kScanUsages[key.ScanCode];
  }
  if (!usage) return false;
  *code = UINT16(0x7000 + usage);
  *modifiers = shifted ? kLeftShift : 0;
  // Control, alt and the logo (command) key as the keyboard's modifier bits, so that key
  // combinations such as command-F5 reach hearth.
  if (shift_state & kShiftStateValid) {
    for (const ModifierBit& m : kModifierBits) {
      if (shift_state & m.shift_state) *modifiers = UINT16(*modifiers | m.modifier);
    }
  }
  return true;
}

bool ReadKeystroke(EFI_INPUT_KEY* key, UINT32* shift_state) {
  EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL* ex = nullptr;
  if (gST->ConsoleInHandle &&
      !EFI_ERROR(gBS->HandleProtocol(gST->ConsoleInHandle, &kEfiSimpleTextInputExProtocolGuid,
                                     reinterpret_cast<VOID**>(&ex))) && ex) {
    EFI_KEY_DATA data{};
    if (EFI_ERROR(ex->ReadKeyStrokeEx(ex, &data))) return false;
    *key = data.Key;
    *shift_state = data.KeyState.KeyShiftState;
    return true;
  }
  *shift_state = 0;
  return gST->ConIn && !EFI_ERROR(gST->ConIn->ReadKeyStroke(gST->ConIn, key));
}

EFI_STATUS EFIAPI ReadKeyState(TarnKeyStateProtocol*, UINT16* modifiers, UINTN* key_count, CHAR16* keys) {
  if (!modifiers || !key_count || (*key_count && !keys)) return EFI_INVALID_PARAMETER;
  *modifiers = 0;
  UINTN room = *key_count;
  *key_count = 0;
  if (gInput.key_reported) {  // the key of the last read is up again
    gInput.key_reported = FALSE;
    return EFI_SUCCESS;
  }
  EFI_INPUT_KEY key{};
  UINT32 shift_state = 0;
  UINT16 code = 0, held_modifiers = 0;
  while (ReadKeystroke(&key, &shift_state)) {
    if (!KeyUsage(key, shift_state, &code, &held_modifiers)) continue;
    *modifiers = held_modifiers;
    if (room) {
      keys[0] = code;
      *key_count = 1;
    }
    gInput.key_reported = TRUE;
    break;
  }
  return EFI_SUCCESS;
}

// --- Pointer ---------------------------------------------------------------------------

// The first device carrying guid, other than skip. The console's input handle carries the
// firmware's merge of the devices, which only sees those connected to it: take it only
// when nothing else has the protocol.
void* FirstDevice(const EFI_GUID& guid, const void* skip) {
  HandleBuffer handles;
  void* merged = nullptr;
  void* found = nullptr;
  if (EFI_ERROR(handles.Locate(guid))) return nullptr;
  for (UINTN i = 0; i < handles.count() && !found; ++i) {
    void* device = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &guid, &device)) || !device || device == skip) continue;
    if (handles[i] == gST->ConsoleInHandle) {
      merged = device;
    } else {
      found = device;
    }
  }
  return found ? found : merged;
}

EFI_ABSOLUTE_POINTER_PROTOCOL* FirstAbsolutePointer() {
  return static_cast<EFI_ABSOLUTE_POINTER_PROTOCOL*>(FirstDevice(kEfiAbsolutePointerProtocolGuid, nullptr));
}

EFI_SIMPLE_POINTER_PROTOCOL* FirstSimplePointer() {
  return static_cast<EFI_SIMPLE_POINTER_PROTOCOL*>(FirstDevice(kEfiSimplePointerProtocolGuid, &gInput.pointer));
}

// Devices carrying guid, apart from the console's merge of them.
UINTN CountDevices(const EFI_GUID& guid) {
  HandleBuffer handles;
  UINTN devices = 0;
  if (EFI_ERROR(handles.Locate(guid))) return 0;
  for (UINTN i = 0; i < handles.count(); ++i) devices += handles[i] != gST->ConsoleInHandle ? 1 : 0;
  return devices;
}

// Absolute positions scaled to the range the tablet reports, as pixels.
bool AbsoluteToScreen(const EFI_ABSOLUTE_POINTER_MODE* mode, const EFI_ABSOLUTE_POINTER_STATE& state, INT32* x,
                      INT32* y) {
  if (!mode || mode->AbsoluteMaxX <= mode->AbsoluteMinX || mode->AbsoluteMaxY <= mode->AbsoluteMinY) return false;
  UINT64 span_x = mode->AbsoluteMaxX - mode->AbsoluteMinX, span_y = mode->AbsoluteMaxY - mode->AbsoluteMinY;
  UINT64 ax = state.CurrentX < mode->AbsoluteMinX ? 0 : state.CurrentX - mode->AbsoluteMinX;
  UINT64 ay = state.CurrentY < mode->AbsoluteMinY ? 0 : state.CurrentY - mode->AbsoluteMinY;
  if (ax > span_x) ax = span_x;
  if (ay > span_y) ay = span_y;
  *x = INT32(ax * UINT64(gInput.width) / span_x);
  *y = INT32(ay * UINT64(gInput.height) / span_y);
  return true;
}

// The simple-pointer stand-in: movement since the last read, in pixels (resolution 1).
EFI_STATUS EFIAPI PointerReset(EFI_SIMPLE_POINTER_PROTOCOL*, BOOLEAN) { return EFI_SUCCESS; }

EFI_STATUS EFIAPI PointerGetState(EFI_SIMPLE_POINTER_PROTOCOL*, EFI_SIMPLE_POINTER_STATE* out) {
  if (!out || !gInput.absolute) return EFI_INVALID_PARAMETER;
  EFI_ABSOLUTE_POINTER_STATE state{};
  EFI_STATUS status = gInput.absolute->GetState(gInput.absolute, &state);
  if (EFI_ERROR(status)) return status;
  INT32 x = 0, y = 0;
  if (!AbsoluteToScreen(gInput.absolute->Mode, state, &x, &y)) return EFI_DEVICE_ERROR;
  *out = EFI_SIMPLE_POINTER_STATE{};
  if (gInput.have_absolute_position) {
    out->RelativeMovementX = x - INT32(gInput.last_absolute_x);
    out->RelativeMovementY = y - INT32(gInput.last_absolute_y);
  }
  gInput.have_absolute_position = TRUE;
  gInput.last_absolute_x = UINT64(x);
  gInput.last_absolute_y = UINT64(y);
  out->LeftButton = (state.ActiveButtons & EFI_ABSP_TouchActive) != 0;
  out->RightButton = (state.ActiveButtons & EFI_ABS_AltActive) != 0;
  return EFI_SUCCESS;
}

// --- The event protocol ----------------------------------------------------------------

void Deliver(UINT32 type, UINT64 data, UINT32 modifiers) {
  TarnEventRecord record{};
  record.Type = type;
  record.Data = data;
  record.Modifiers = modifiers;
  record.Position = TarnEventPosition{gInput.x, gInput.y};
  for (Handler& h : gInput.handlers) {
    if (h.live && (h.mask & type)) h.handler(&record, h.context);
  }
}

void PollKeys() {
  EFI_INPUT_KEY key{};
  UINT32 shift_state = 0;
  while (ReadKeystroke(&key, &shift_state)) {
    UINT16 code = 0, modifiers = 0;
    if (!KeyUsage(key, shift_state, &code, &modifiers)) continue;
    gInput.key_data = TarnEventKeyData{modifiers, 1, key.UnicodeChar, code};
    Deliver(kTarnEventKeyPressed, reinterpret_cast<UINT64>(&gInput.key_data), modifiers);
  }
}

void Buttons(BOOLEAN left, BOOLEAN right) {
  const BOOLEAN now[2] = {left, right};
  const UINT64 bits[2] = {kTarnPointerPrimary, kTarnPointerSecondary};
  for (int b = 0; b < 2; ++b) {
    if (now[b] == gInput.buttons[b]) continue;
    gInput.buttons[b] = now[b];
    Deliver(kTarnEventPointerButton, bits[b] | (now[b] ? kTarnPointerDown : kTarnPointerUp), 0);
    if (!now[b]) Deliver(kTarnEventPointerButton, bits[b] | kTarnPointerClick, 0);
  }
}

void MoveTo(INT64 x, INT64 y) {
  x = x < 0 ? 0 : (x > gInput.width ? gInput.width : x);
  y = y < 0 ? 0 : (y > gInput.height ? gInput.height : y);
  if (x == gInput.x && y == gInput.y) return;
  gInput.x = INT32(x);
  gInput.y = INT32(y);
  Deliver(kTarnEventPointerMoved, kTarnPointerMove, 0);
}

// A tablet first: it reports where the pointer is, not how far it went.
void PollPointer() {
  if (EFI_ABSOLUTE_POINTER_PROTOCOL* absolute = FirstAbsolutePointer()) {
    EFI_ABSOLUTE_POINTER_STATE state{};
    INT32 x = 0, y = 0;
    if (EFI_ERROR(absolute->GetState(absolute, &state)) || !AbsoluteToScreen(absolute->Mode, state, &x, &y)) return;
    MoveTo(x, y);
    Buttons((state.ActiveButtons & EFI_ABSP_TouchActive) != 0, (state.ActiveButtons & EFI_ABS_AltActive) != 0);
    return;
  }
  if (EFI_SIMPLE_POINTER_PROTOCOL* pointer = FirstSimplePointer()) {
    EFI_SIMPLE_POINTER_STATE state{};
    if (EFI_ERROR(pointer->GetState(pointer, &state))) return;
    UINT64 rx = pointer->Mode && pointer->Mode->ResolutionX ? pointer->Mode->ResolutionX : 1;
    UINT64 ry = pointer->Mode && pointer->Mode->ResolutionY ? pointer->Mode->ResolutionY : 1;
    MoveTo(gInput.x + INT64(state.RelativeMovementX) / INT64(rx), gInput.y + INT64(state.RelativeMovementY) / INT64(ry));
    Buttons(state.LeftButton, state.RightButton);
  }
}

void EFIAPI Poll(EFI_EVENT, void*) {
  PollKeys();
  PollPointer();
}

EFI_STATUS EFIAPI RegisterHandler(UINT32 mask, TarnEventHandler handler, TarnEventHandle* handle, VOID* context) {
  if (mask == 0 || !handler || !handle) return EFI_INVALID_PARAMETER;
  for (Handler& h : gInput.handlers) {
    if (h.live) continue;
    h = Handler{mask, handler, context, TRUE};
    *handle = &h;
    if (gInput.live_handlers++ == 0 && !gInput.poll_timer) {
      if (EFI_ERROR(gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_NOTIFY, Poll, nullptr, &gInput.poll_timer))) {
        gInput.poll_timer = nullptr;
      } else {
        gBS->SetTimer(gInput.poll_timer, TimerPeriodic, kPollPeriod);
      }
      SerialWriteLine(PlatformText().Add("platform: input events: first handler registered, polling"));
    }
    // Scenarios wait for the handler that takes keys before they type.
    if (mask & kTarnEventKeyPressed) {
      SerialWriteLine(PlatformText().Add("platform: input events: key handler registered (mask ").AddHex(mask).Add(")"));
    }
    return EFI_SUCCESS;
  }
  return EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI UnregisterHandler(TarnEventHandle handle) {
  for (Handler& h : gInput.handlers) {
    if (&h != handle || !h.live) continue;
    h.live = FALSE;
    if (--gInput.live_handlers == 0 && gInput.poll_timer) {
      gBS->SetTimer(gInput.poll_timer, TimerCancel, 0);
      gBS->CloseEvent(gInput.poll_timer);
      gInput.poll_timer = nullptr;
    }
    return EFI_SUCCESS;
  }
  return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI SetCursorPosition(TarnEventPosition* position) {
  if (!position) return EFI_INVALID_PARAMETER;
  gInput.x = position->X;
  gInput.y = position->Y;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetEventName(TarnEventHandle, const CHAR8*) { return EFI_SUCCESS; }

EFI_STATUS EFIAPI IsCapsLockOn(BOOLEAN* on) {
  if (!on) return EFI_INVALID_PARAMETER;
  *on = FALSE;
  return EFI_SUCCESS;
}

void ReadScreenSize() {
  gInput.width = 800;
  gInput.height = 600;
  EFI_GRAPHICS_OUTPUT_PROTOCOL* gop = nullptr;
  if (!EFI_ERROR(gBS->LocateProtocol(&kEfiGraphicsOutputProtocolGuid, nullptr, reinterpret_cast<VOID**>(&gop))) &&
      gop && gop->Mode && gop->Mode->Info) {
    gInput.width = INT32(gop->Mode->Info->HorizontalResolution);
    gInput.height = INT32(gop->Mode->Info->VerticalResolution);
  }
  gInput.x = gInput.width / 2;
  gInput.y = gInput.height / 2;
}

// Generic firmware connects only its console and boot devices; pointers on USB stay
// unbound until every controller is connected, as the maker's firmware does at start.
void ConnectAllControllers() {
  HandleBuffer handles;
  if (EFI_ERROR(handles.LocateAll())) return;
  for (UINTN i = 0; i < handles.count(); ++i) gBS->ConnectController(handles[i], nullptr, nullptr, TRUE);
}

void Report(const char* what, EFI_STATUS status) {
  PlatformText line;
  line.Add("platform: ").Add(what);
  SerialWriteLine(EFI_ERROR(status) ? line.Add(" not installed: ").AddStatus(status) : line.Add(" installed"));
}

}  // namespace

void InputEventsRequest(UINTN revision) {
  gInput.want_events = TRUE;
  gInput.revision = revision;
}
void KeyMapRequest() { gInput.want_key_map = TRUE; }
void SimplePointerRequest() { gInput.want_pointer = TRUE; }

void InstallInputStandIns() {
  if (!gInput.want_events && !gInput.want_key_map && !gInput.want_pointer) return;
  ConnectAllControllers();
  if (CountDevices(kEfiAbsolutePointerProtocolGuid) == 0) Report("USB tablet through its USB I/O", InstallUsbTablet());
  ReadScreenSize();
  SerialWriteLine(PlatformText()
                      .Add("platform: input devices: ")
                      .AddDecimal(CountDevices(kEfiSimplePointerProtocolGuid))
                      .Add(" simple pointer device(s), ")
                      .AddDecimal(CountDevices(kEfiAbsolutePointerProtocolGuid))
                      .Add(" absolute pointer device(s), screen ")
                      .AddDecimal(UINT64(gInput.width))
                      .Add("x")
                      .AddDecimal(UINT64(gInput.height)));
  if (gInput.want_pointer) {
    gInput.absolute = FirstAbsolutePointer();
    EFI_STATUS status = EFI_NOT_FOUND;
    if (gInput.absolute) {
      // Movement is counted from the screen's centre, where pointers start.
      gInput.have_absolute_position = TRUE;
      gInput.last_absolute_x = UINT64(gInput.width / 2);
      gInput.last_absolute_y = UINT64(gInput.height / 2);
      gInput.pointer_mode = EFI_SIMPLE_POINTER_MODE{1, 1, 1, TRUE, TRUE};
      gInput.pointer = EFI_SIMPLE_POINTER_PROTOCOL{PointerReset, PointerGetState, nullptr, &gInput.pointer_mode};
      status = gBS->InstallProtocolInterface(&gInput.pointer_handle, &kEfiSimplePointerProtocolGuid,
                                             EFI_NATIVE_INTERFACE, &gInput.pointer);
    }
    Report("simple pointer from the absolute pointer", status);
  }
  if (gInput.want_key_map) {
    gInput.key_map = TarnKeyStateProtocol{nullptr, ReadKeyState};
    Report("key map", gBS->InstallProtocolInterface(&gInput.key_map_handle, &kTarnKeyStateProtocolGuid,
                                                    EFI_NATIVE_INTERFACE, &gInput.key_map));
  }
  if (gInput.want_events) {
    gInput.events = TarnEventProtocol{gInput.revision, RegisterHandler, UnregisterHandler, SetCursorPosition,
                                      SetEventName, IsCapsLockOn};
    EFI_STATUS status = gBS->InstallProtocolInterface(&gInput.events_handle, &kTarnEventProtocolGuid,
                                                      EFI_NATIVE_INTERFACE, &gInput.events);
    SerialWriteLine(PlatformText()
                        .Add("platform: input events (revision ")
                        .AddDecimal(gInput.revision)
                        .Add(EFI_ERROR(status) ? ") not installed" : ") installed"));
  }
}

void RemoveInputStandIns() {
  RemoveUsbTablet();
  if (gInput.poll_timer) {
    gBS->SetTimer(gInput.poll_timer, TimerCancel, 0);
    gBS->CloseEvent(gInput.poll_timer);
  }
  if (gInput.events_handle) gBS->UninstallProtocolInterface(gInput.events_handle, &kTarnEventProtocolGuid, &gInput.events);
  if (gInput.key_map_handle) {
    gBS->UninstallProtocolInterface(gInput.key_map_handle, &kTarnKeyStateProtocolGuid, &gInput.key_map);
  }
  if (gInput.pointer_handle) {
    gBS->UninstallProtocolInterface(gInput.pointer_handle, &kEfiSimplePointerProtocolGuid, &gInput.pointer);
  }
  gInput = {};
}
