// The input probe: a small EFI application that stands where hearth would and shows, on the
// serial port, the input events that reach the login toolkit on real firmware. It takes the
// input-event protocol the way the login screen does (the firmware's instance when recent
// enough, else the built-in one), registers for every event type, and logs each event from
// a deferred function of the run loop. It ends on Escape, or after a minute.
#include "diag/log.h"
#include "efi/efi.h"
#include "flags/boot_mode.h"
#include "flags/booter_config.h"
#include "ui/event_protocol.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

// The boot-mode words live with hearth's stage sequence, which the probe leaves out.
UINT64 BootModeFlags = 0;
UINT32 CpuSubtype = 3;

namespace {

constexpr UINT64 kGiveUpAfter = 600000000;  // 60 s
constexpr UINT16 kKeyEscape = 0x7029;

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
    if (detail == kKeyEscape) RunLoopExit();
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

}  // namespace

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) {
  gImageHandle = image_handle;
  gST = system_table;
  gBS = system_table->BootServices;
  gRT = system_table->RuntimeServices;
  gBooterSettings.log = kLogSinkSerial;
  LogStart();
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
  EFI_EVENT timeout = TimerCreateAtCallbackLevel(OnTimeout, nullptr, kGiveUpAfter, FALSE);
  LogMessage(kLogCategoryError, "uiprobe: ready for input\n");
  RunLoopRun();
  TimerDestroy(timeout);
  events->UnregisterHandler(handle);
  RemoveTarnEventProtocol();
  LogMessage(kLogCategoryError, "uiprobe: done\n");
  return EFI_SUCCESS;
}
