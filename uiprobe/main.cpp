// The input probe: a small EFI application that stands where hearth would and shows, on the
// serial port, the input events that reach the login toolkit on real firmware. It takes the
// input-event protocol the way the login screen does (the firmware's instance when recent
// enough, else the built-in one), registers for every event type, and logs each event from
// a deferred function of the run loop. It also puts a small screen up, a panel with a
// button in front, whose views receive the events through the screen's responders: the
// button takes the clicks that land on it, the panel sees the rest. In its password mode
// (uiprobe/password_screen.h) it shows a focused password field instead and also ends on
// Return. It ends on Escape, or after a minute.
#include "diag/log.h"
#include "draw/display.h"
#include "draw/screen.h"
#include "efi/efi.h"
#include "flags/boot_mode.h"
#include "flags/booter_config.h"
#include "ui/event_protocol.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"
#include "ui/timer.h"
#include "uiprobe/password_screen.h"

// The boot-mode words live with hearth's stage sequence, which the probe leaves out.
UINT64 BootModeFlags = 0;
UINT32 CpuSubtype = 3;

namespace {

constexpr UINT64 kGiveUpAfter = 600000000;  // 60 s
constexpr UINT16 kKeyEscape = 0x7029;
constexpr UINT16 kKeyReturn = 0x7028;

bool gPasswordMode = false;

// Packs what the log line needs into the deferred function's argument.
UINTN Pack(UINT32 type, UINT64 detail, INT32 x, INT32 y) {
  return (UINTN(type & 0xFFF) << 52) | (UINTN(detail & 0xFFFF) << 32) | (UINTN(UINT32(x) & 0xFFFF) << 16) |
         (UINTN(UINT32(y) & 0xFFFF));
}

EFI_STATUS LogEvent(RunLoop*, void*, UINTN packed) {
  UINT32 type = UINT32(packed >> 52);
  UINT32 detail = UINT32((packed >> 32) & 0xFFFF);
  UINT32 x = UINT32((packed >> 16) & 0xFFFF), y = UINT32(packed & 0xFFFF);
  if (type == kTarnEventKeyPressed) {
    LogMessage(kLogCategoryError, "uiprobe: key 0x%x\n", detail);
    if (detail == kKeyEscape || (gPasswordMode && detail == kKeyReturn)) RunLoopExit();
  } else if (type == kTarnEventPointerMoved) {
    LogMessage(kLogCategoryError, "uiprobe: pointer moved to %d,%d\n", x, y);
  } else if (type == kTarnEventPointerButton) {
    LogMessage(kLogCategoryError, "uiprobe: pointer 0x%x at %d,%d\n", detail, x, y);
  } else {
    LogMessage(kLogCategoryError, "uiprobe: event 0x%x modifiers 0x%x\n", type, detail);
  }
  return 0;
}

EFI_STATUS GiveUp(RunLoop*, void*, UINTN) {
  LogMessage(kLogCategoryError, "uiprobe: no Escape within a minute, ending\n");
  RunLoopExit();
  return 0;
}

void EFIAPI OnEvent(TarnEventRecord* event, void*) {
  UINT64 detail = event->Data;
  if (event->Type == kTarnEventKeyPressed) {
    detail = event->Data ? reinterpret_cast<TarnEventKeyData*>(event->Data)->KeyCode : 0;
  } else if (event->Type == kTarnEventModifiersPressed || event->Type == kTarnEventModifiersReleased) {
    detail = event->Modifiers;
  }
  RunLoopExecuteDeferredFunc(LogEvent, nullptr, Pack(event->Type, detail, event->Position.X, event->Position.Y),
                             "LogEvent");
}

void EFIAPI OnTimeout(EFI_EVENT, void*) { RunLoopExecuteDeferredFunc(GiveUp, nullptr, 0, "GiveUp"); }

EFI_STATUS LogResponder(RunLoop*, void* view_name, UINTN packed) {
  LogMessage(kLogCategoryError, "uiprobe: %s view got event 0x%x (0x%x) at %d,%d\n", static_cast<const char*>(view_name),
             UINT32(packed >> 52), UINT32((packed >> 32) & 0xFFFF), UINT32((packed >> 16) & 0xFFFF),
             UINT32(packed & 0xFFFF));
  return 0;
}

// The button takes pointer-button events that land on it; the panel logs whatever reaches it.
BOOLEAN ButtonResponds(DUView* view, TarnEventRecord* event, void*) {
  if (!DUPointInRect(DUPoint{event->Position.X, event->Position.Y}, view->frame)) return FALSE;
  RunLoopExecuteDeferredFunc(LogResponder, const_cast<char*>("button"),
                             Pack(event->Type, event->Data, event->Position.X, event->Position.Y), "LogResponder");
  return TRUE;
}

BOOLEAN PanelResponds(DUView*, TarnEventRecord* event, void*) {
  if (event->Type != kTarnEventPointerButton) return FALSE;
  RunLoopExecuteDeferredFunc(LogResponder, const_cast<char*>("panel"),
                             Pack(event->Type, event->Data, event->Position.X, event->Position.Y), "LogResponder");
  return TRUE;
}

DUView* SolidView(DURect frame, DUPixel colour, UINT32 z_order) {
  DUView* view = nullptr;
  if (EFI_ERROR(DUViewCreate(frame, &view))) return nullptr;
  for (INT32 i = 0; i < frame.width * frame.height; ++i) view->pixels[i] = colour;
  DUViewSetZOrder(view, z_order);
  return view;
}

// A panel over most of the screen and a button in front of its left part.
DUScreen* PutUpScreen() {
  DUScreen* screen = nullptr;
  if (EFI_ERROR(DUInitialize()) || EFI_ERROR(DUScreenCreate(DUColorMake(20, 30, 60, 0), &screen))) return nullptr;
  DUSize size = DUDisplaySize();
  DUView* panel = SolidView(DURectMake(size.width / 16, size.height / 8, size.height * 3 / 4, size.width * 7 / 8),
                            DUColorMake(90, 90, 100, 0), 5000);
  DUView* button = SolidView(DURectMake(size.width * 5 / 32, size.height * 3 / 8, size.height / 4, size.width * 3 / 16),
                             DUColorMake(230, 140, 30, 0), 6000);
  if (!panel || !button || EFI_ERROR(DUScreenAddView(screen, panel)) || EFI_ERROR(DUScreenAddView(screen, button)) ||
      EFI_ERROR(DUScreenRegisterResponder(screen, panel, kTarnEventAll, PanelResponds, nullptr)) ||
      EFI_ERROR(DUScreenRegisterResponder(screen, button, kTarnEventPointerButton, ButtonResponds, nullptr))) {
    LogMessage(kLogCategoryError, "uiprobe: the screen could not be put up\n");
    DUScreenDestroy(screen);
    return nullptr;
  }
  LogMessage(kLogCategoryError, "uiprobe: screen %dx%d, button at %d,%d size %dx%d\n", size.width, size.height,
             button->frame.x, button->frame.y, button->frame.width, button->frame.height);
  RunLoopScheduleScreenDraw(screen);
  return screen;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) {
  gImageHandle = image_handle;
  gST = system_table;
  gBS = system_table->BootServices;
  gRT = system_table->RuntimeServices;
  BooterSettings settings = gBooterSettings;
  settings.log = kLogSinkSerial;
  LogStart(settings);
  LogMessage(kLogCategoryError, "uiprobe: start\n");

  EFI_STATUS status = InstallTarnEventProtocol(image_handle);
  TarnEventProtocol* events = nullptr;
  ObtainCurrentTarnEventProtocol(&events);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "uiprobe: Can't install updated TarnEvent protocol: 0x%lx\n", status);
    return status;
  }
  TarnEventProtocol* firmware = nullptr;
  gBS->LocateProtocol(&kTarnEventProtocolGuid, nullptr, reinterpret_cast<VOID**>(&firmware));
  LogMessage(kLogCategoryError, events == firmware ? "uiprobe: using the firmware's input events (revision %d)\n"
                                                   : "uiprobe: using the built-in input events (firmware revision %d)\n",
             firmware ? UINT32(firmware->Revision) : 0);
  TarnEventHandle handle = nullptr;
  status = events->RegisterHandler(kTarnEventAll, OnEvent, &handle, nullptr);
  if (EFI_ERROR(status)) {
    LogMessage(kLogCategoryError, "uiprobe: RegisterHandler failed: 0x%lx\n", status);
    return status;
  }
  gPasswordMode = PasswordModeRequested();
  PasswordProbe* password = gPasswordMode ? PasswordProbeStart(image_handle) : nullptr;
  DUScreen* screen = gPasswordMode ? nullptr : PutUpScreen();
  EFI_EVENT timeout = TimerCreateAtCallbackLevel(OnTimeout, nullptr, kGiveUpAfter, FALSE);
  LogMessage(kLogCategoryError, "uiprobe: ready for input\n");
  RunLoopRun();
  TimerDestroy(timeout);
  if (screen) DUScreenDestroy(screen);
  PasswordProbeStop(password);
  events->UnregisterHandler(handle);
  RemoveTarnEventProtocol();
  LogMessage(kLogCategoryError, "uiprobe: done\n");
  return EFI_SUCCESS;
}
