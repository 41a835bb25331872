#include "platform/smc_service.h"

#include "lib/host_reset.h"
#include "lib/mem.h"
#include "platform/serial_output.h"

namespace {

struct SmcEntry {
  UINT32 key;
  UINT8 size;
  UINT8 value[kSmcServiceMaxValueSize];
};

struct SmcSchedule {
  UINT32 key;
  UINT32 seconds;
  UINT8 size;
  UINT8 count;
  UINT8 next;  // the value the next tick sets
  UINT8 values[kSmcServiceMaxScheduleValues][kSmcServiceMaxValueSize];
  EFI_EVENT timer;
};

struct SmcServiceState {
  TarnSmcIoProtocol protocol;
  EFI_HANDLE handle;
  bool installed;
  UINTN count;
  SmcEntry entries[kSmcServiceMaxKeys];
  UINTN schedule_count;
  SmcSchedule schedules[kSmcServiceMaxSchedules];
};
SmcServiceState gSmc = {};

void ResetSmcService() { gSmc = {}; }
HEARTH_HOST_RESET(ResetSmcService);

SmcEntry* Find(UINT32 key) {
  for (UINTN i = 0; i < gSmc.count; ++i) {
    if (gSmc.entries[i].key == key) return &gSmc.entries[i];
  }
  return nullptr;
}

bool AllZero(const UINT8* bytes, UINTN size) {
  for (UINTN i = 0; i < size; ++i) {
    if (bytes[i]) return false;
  }
  return true;
}

EFI_STATUS EFIAPI ReadValue(TarnSmcIoProtocol*, UINT32 key, UINTN size, VOID* buffer) {
  const SmcEntry* entry = Find(key);
  if (!entry) return EFI_NOT_FOUND;
  if (!buffer || size != entry->size) return EFI_INVALID_PARAMETER;
  MemCopy(buffer, entry->value, size);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI WriteValue(TarnSmcIoProtocol*, UINT32 key, UINTN size, const VOID* buffer) {
  SmcEntry* entry = Find(key);
  if (!entry) return EFI_NOT_FOUND;
  if (!buffer || size != entry->size) return EFI_INVALID_PARAMETER;
  MemCopy(entry->value, buffer, size);
  char name[5];
  SmcServiceKeyName(key, name);
  PlatformText line;
  line.Add("platform: smc ").Add(name).Add(" written (").AddDecimal(size).Add(size == 1 ? " byte" : " bytes");
  SerialWriteLine(line.Add(AllZero(entry->value, size) ? ", all zero)" : ")"));
  return EFI_SUCCESS;
}

void EFIAPI ScheduleTick(EFI_EVENT, void* context) { SmcServiceAdvanceSchedule(reinterpret_cast<UINTN>(context)); }

}  // namespace

void SmcServiceAdvanceSchedule(UINTN index) {
  if (index >= gSmc.schedule_count) return;
  SmcSchedule& s = gSmc.schedules[index];
  SmcEntry* entry = Find(s.key);
  if (!entry || entry->size != s.size) return;
  MemCopy(entry->value, s.values[s.next], s.size);
  // Said on the serial port so that a run can be checked against what the reader showed.
  char name[5];
  SmcServiceKeyName(s.key, name);
  PlatformText line;
  line.Add("platform: smc ").Add(name).Add(" now value ").AddDecimal(s.next + 1u).Add(" of ").AddDecimal(s.count);
  SerialWriteLine(line);
  s.next = UINT8((s.next + 1) % s.count);
}

EFI_STATUS SmcServiceSchedule(UINT32 key, UINT32 seconds, const UINT8* values, UINTN size, UINTN count) {
  if (!values || seconds == 0 || size == 0 || size > kSmcServiceMaxValueSize || count == 0 ||
      count > kSmcServiceMaxScheduleValues) {
    return EFI_INVALID_PARAMETER;
  }
  if (gSmc.schedule_count == kSmcServiceMaxSchedules) return EFI_OUT_OF_RESOURCES;
  EFI_STATUS status = SmcServiceSetKey(key, values, size);
  if (EFI_ERROR(status)) return status;
  SmcSchedule& s = gSmc.schedules[gSmc.schedule_count++];
  s = SmcSchedule{key, seconds, UINT8(size), UINT8(count), UINT8(1 % count), {}, nullptr};
  for (UINTN i = 0; i < count; ++i) MemCopy(s.values[i], values + i * size, size);
  return EFI_SUCCESS;
}

void SmcServiceKeyName(UINT32 key, char name[5]) {
  for (int i = 0; i < 4; ++i) name[i] = static_cast<char>(key >> (24 - 8 * i));
  name[4] = 0;
}

EFI_STATUS SmcServiceSetKey(UINT32 key, const UINT8* value, UINTN size) {
  if (!value || size == 0 || size > kSmcServiceMaxValueSize) return EFI_INVALID_PARAMETER;
  SmcEntry* entry = Find(key);
  if (!entry) {
    if (gSmc.count == kSmcServiceMaxKeys) return EFI_OUT_OF_RESOURCES;
    entry = &gSmc.entries[gSmc.count++];
  }
  *entry = SmcEntry{key, static_cast<UINT8>(size), {}};
  MemCopy(entry->value, value, size);
  return EFI_SUCCESS;
}

EFI_STATUS InstallSmcService() {
  if (gSmc.installed) return EFI_ALREADY_STARTED;
  if (gSmc.count == 0) return EFI_NOT_FOUND;
  gSmc.protocol = TarnSmcIoProtocol{0, ReadValue, WriteValue};
  gSmc.handle = nullptr;
  EFI_STATUS status =
      gBS->InstallProtocolInterface(&gSmc.handle, &kTarnSmcIoProtocolGuid, EFI_NATIVE_INTERFACE, &gSmc.protocol);
  if (EFI_ERROR(status)) return status;
  gSmc.installed = true;
  // A schedule whose timer cannot start keeps its first value; the rest still run.
  for (UINTN i = 0; i < gSmc.schedule_count; ++i) {
    SmcSchedule& s = gSmc.schedules[i];
    if (s.count < 2) continue;
    if (EFI_ERROR(gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, ScheduleTick, reinterpret_cast<void*>(i),
                                   &s.timer))) {
      s.timer = nullptr;
      continue;
    }
    if (EFI_ERROR(gBS->SetTimer(s.timer, TimerPeriodic, UINT64(s.seconds) * 10000000))) {
      gBS->CloseEvent(s.timer);
      s.timer = nullptr;
    }
  }
  return EFI_SUCCESS;
}

void RemoveSmcService() {
  for (UINTN i = 0; i < gSmc.schedule_count; ++i) {
    if (gSmc.schedules[i].timer) gBS->CloseEvent(gSmc.schedules[i].timer);
  }
  if (gSmc.installed) gBS->UninstallProtocolInterface(gSmc.handle, &kTarnSmcIoProtocolGuid, &gSmc.protocol);
  gSmc = {};
}
