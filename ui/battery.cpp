#include "ui/battery.h"

#include "draw/log_error.h"
#include "machine/smc.h"
#include "memory/memory.h"
#include "output/ascii_format.h"
#include "ui/archive_image.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

namespace {

TarnSmcIoProtocol* Smc() {
  TarnSmcIoProtocol* smc = nullptr;
  EFI_STATUS status = SmcLocate(&smc);
  if (EFI_ERROR(status)) {
    DULogError("LWSmcValueForKey", "gBS->LocateProtocol for gTarnSmcIoProtocolGuid failed: %d\n", INT32(status));
    return nullptr;
  }
  return smc;
}

EFI_STATUS TickDeferred(RunLoop*, void* context, UINTN) {
  auto* monitor = static_cast<UIBatteryMonitor*>(context);
  monitor->tick_queued = FALSE;
  if (monitor->destroyed) {
    PoolFree(monitor);
    return EFI_SUCCESS;
  }
  UIBatteryMonitorPoll(monitor);
  return EFI_SUCCESS;
}

void EFIAPI UpdateBatteryTimerCallback(EFI_EVENT, void* context) {
  auto* monitor = static_cast<UIBatteryMonitor*>(context);
  if (monitor->tick_queued || monitor->destroyed) return;
  if (RunLoopExecuteDeferredFunc(TickDeferred, monitor, 0, "__updateBatteryTimerCallback") == 0) {
    monitor->tick_queued = TRUE;
  }
}

}  // namespace

UINTN LWSmcValueForKey(UINT32 key, UINTN size, void* out) {
  if (!out) return 1;
  TarnSmcIoProtocol* smc = Smc();
  if (!smc) return 1;
  return EFI_ERROR(SmcRead(smc, key, size, out)) ? 1 : 0;
}

UINTN LWSmcUINT8ForKey(UINT32 key, UINT8* out) {
  if (!out) return 1;
  TarnSmcIoProtocol* smc = Smc();
  if (!smc) return 1;
  if (EFI_ERROR(SmcRead(smc, key, 1, out))) {
    DULogError("LWSmcUINT8ForKey", "smcProtocol->SmcReadValue failed for key '%c%c%c%c'\n", char(key & 0xFF),
               char((key >> 8) & 0xFF), char((key >> 16) & 0xFF), char(key >> 24));
    return 1;
  }
  return 0;
}

UINT8 LWIsBatteryPowered() {
  UINT8 value = 0;
  if (LWSmcUINT8ForKey(kSmcKeyOnBattery, &value) != 0) {
    DULogError("LWIsBatteryPowered", "Failure to get SMC Key: BATP\n");
    return 0;
  }
  return value;
}

UIBatteryState UIBatteryReadState(UINT8* out_charge) {
  UINT8 charge_bytes[2] = {0, kUIBatteryUnknownCharge};
  if (LWSmcValueForKey(kSmcKeyChargePercent, 2, charge_bytes) != 0) charge_bytes[1] = kUIBatteryUnknownCharge;
  if (out_charge) *out_charge = charge_bytes[1];
  UINT8 present = 0;
  if (LWSmcUINT8ForKey(kSmcKeyBatteryPresent, &present) != 0) return kUIBatteryUnsupported;
  if (present == 0) return kUIBatteryMissing;
  UINT8 bad = 0;
  if (LWSmcUINT8ForKey(kSmcKeyBatteryBad, &bad) == 0 && bad == 1) return kUIBatteryBad;
  UINT8 status = 0;  // unreadable: shown as running on the battery
  (void)LWSmcUINT8ForKey(kSmcKeyChargingState, &status);  // logged inside
  if (!(status & 0x02)) return kUIBatteryDischarging;
  return (status & 0x01) ? kUIBatteryCharging : kUIBatteryCharged;
}

bool UIBatteryPictureName(UIBatteryState state, UINT8 charge, char* out, UINTN out_size) {
  switch (state) {
    case kUIBatteryMissing: return AsciiSNPrint(out, out_size, "battery_missing.png") > 0;
    case kUIBatteryBad: return AsciiSNPrint(out, out_size, "battery_warning.png") > 0;
    case kUIBatteryDischarging: return AsciiSNPrint(out, out_size, "battery_%s_%d.png", "discharging", charge) > 0;
    case kUIBatteryCharged: return AsciiSNPrint(out, out_size, "battery_%s_%d.png", "charging", 100) > 0;
    case kUIBatteryCharging: return AsciiSNPrint(out, out_size, "battery_%s_%d.png", "charging", charge) > 0;
    default: return false;
  }
}

UIBatteryMonitor* UIBatteryMonitorCreate(DUView** view_slot, DUScreen* screen, const Archive* archive,
                                         UIBatteryChanged changed, void* context) {
  if (!view_slot) {
    DULogError("UIBatteryMonitorCreate", "view slot is NULL\n");
    return nullptr;
  }
  *view_slot = nullptr;
  if (UIBatteryReadState(nullptr) == kUIBatteryUnsupported) return nullptr;
  auto* monitor = static_cast<UIBatteryMonitor*>(PoolAllocateZero(sizeof(UIBatteryMonitor)));
  if (!monitor) {
    DULogError("UIBatteryMonitorCreate", "out of memory\n");
    return nullptr;
  }
  *monitor = UIBatteryMonitor{view_slot, screen, archive, changed, context, nullptr, FALSE, FALSE,
                              kUIBatteryUnknownCharge, -1};
  (void)UIBatteryMonitorUpdateView(monitor);  // logged inside; the next change tries again
  if (screen && *view_slot && EFI_ERROR(DUScreenAddView(screen, *view_slot))) {
    DULogError("UIBatteryMonitorCreate", "DUScreenAddView failed\n");
  }
  monitor->timer = TimerCreate(UpdateBatteryTimerCallback, monitor, kUIBatteryTimerPeriod, TRUE);
  if (!monitor->timer) DULogError("UIBatteryMonitorCreate", "battery timer create failed\n");
  return monitor;
}

void UIBatteryMonitorDestroy(UIBatteryMonitor* monitor) {
  if (!monitor) return;
  TimerRelease(&monitor->timer);
  if (monitor->tick_queued) {
    monitor->destroyed = TRUE;
  } else {
    PoolFree(monitor);
  }
}

void UIBatteryMonitorPoll(UIBatteryMonitor* monitor) {
  if (!monitor) return;
  UINT8 charge = 0;
  UIBatteryState state = UIBatteryReadState(&charge);
  if (state == kUIBatteryUnsupported) {
    DULogError("__updateBatteryTimerCallback", "Consistency check: UIBatteryUnsupported - we should never get here\n");
    return;
  }
  if (state == monitor->last_state && charge == monitor->last_charge) return;
  if (monitor->changed) monitor->changed(monitor, monitor->context);
}

UINTN UIBatteryMonitorUpdateView(UIBatteryMonitor* monitor) {
  if (!monitor) return 1;
  UINT8 charge = 0;
  UIBatteryState state = UIBatteryReadState(&charge);
  char name[64];
  if (!UIBatteryPictureName(state, charge, name, sizeof(name))) {
    DULogError("UIBatteryMonitorUpdateView", "no picture for battery state %d\n", INT32(state));
    return 1;
  }
  monitor->last_state = state;
  monitor->last_charge = charge;
  DUView* view = ArchiveViewCreateWithOptions(monitor->archive, name);
  if (!view) {
    DULogError("UIBatteryMonitorUpdateView", "Could not load %s\n", name);
    return 1;
  }
  DUView* old = *monitor->view_slot;
  if (old) {
    (void)DUViewSetOrigin(view, DUPoint{old->frame.x, old->frame.y});  // a view
    DUScreen* screen = old->screen;
    if (screen) {
      (void)DUScreenRemoveView(screen, old);  // it is the screen's
      if (EFI_ERROR(DUScreenAddView(screen, view))) DULogError("UIBatteryMonitorUpdateView", "DUScreenAddView failed\n");
    } else {
      (void)DUViewDestroy(old);  // never added: it is still ours
    }
  }
  *monitor->view_slot = view;
  return 0;
}
