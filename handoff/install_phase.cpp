// The installer's progress meter: where the current install phase starts and ends on a
// 0..65535 scale, from the phase list the installer left in firmware variables.
#include "flags/guids.h"
#include "config/plist.h"
#include "efi/efi.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "lib/string.h"

namespace {

constexpr UINTN kCurrentPhaseMax = 32;
constexpr UINTN kPhaseListMax = 1024;
constexpr UINT32 kMeterMax = 65535;

// Reads a variable of at most max bytes into buffer (max + 1 bytes) and NUL-terminates it.
bool ReadTextVariable(const CHAR16* name, char* buffer, UINTN max, UINTN* length) {
  UINTN size = max;
  UINT32 attributes = 0;
  EFI_GUID guid = TarnVendorGuid;
  if (!gRT || EFI_ERROR(gRT->GetVariable(name, &guid, &attributes, &size, buffer)) || size > max) return false;
  buffer[size] = 0;
  *length = size;
  return true;
}

// A phase's share of the meter; percentages outside 0..100 are held to that range.
UINT32 ScaledShare(INT64 percentage) {
  if (percentage < 0) percentage = 0;
  if (percentage > 100) percentage = 100;
  return static_cast<UINT32>(percentage * kMeterMax / 100);
}

UINT16 Clamp(UINT32 value) { return static_cast<UINT16>(value > kMeterMax ? kMeterMax : value); }

}  // namespace

bool InstallPhaseMeter(char* list_text, UINTN length, const char* current, UINT16* meter_start, UINT16* meter_end) {
  PlistNode* list = nullptr;
  if (!current || !current[0] || EFI_ERROR(PlistParseArray(list_text, length, &list))) return false;
  bool found = false;
  UINT32 before = 0;
  for (const PlistNode* phase = list->child; phase && !found; phase = phase->next) {
    const PlistNode* name = PlistDictLookup(phase, "InstallPhase");
    const PlistNode* share = PlistDictLookup(phase, "InstallPhasePercentageKey");
    UINT32 scaled = share && share->type == kPlistInteger ? ScaledShare(share->integer) : 0;
    if (name && name->type == kPlistString && name->string && AsciiStrCmp(name->string, current) == 0) {
      *meter_start = Clamp(before);
      *meter_end = Clamp(before + scaled);
      found = true;
    }
    before += scaled;
    if (before > kMeterMax) before = kMeterMax;
  }
  PlistFree(list);
  return found;
}

bool ReadInstallPhase(UINT16* meter_start, UINT16* meter_end) {
  char current[kCurrentPhaseMax + 1];
  UINTN current_length = 0;
  if (!ReadTextVariable(u"IASCurrentInstallPhase", current, kCurrentPhaseMax, &current_length)) return false;
  char* list = static_cast<char*>(PoolAllocate(kPhaseListMax + 1));
  if (!list) return false;
  UINTN list_length = 0;
  bool found = ReadTextVariable(u"IASInstallPhaseList", list, kPhaseListMax, &list_length) &&
               InstallPhaseMeter(list, list_length, current, meter_start, meter_end);
  PoolFree(list);
  return found;
}
