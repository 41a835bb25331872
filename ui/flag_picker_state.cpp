// The flag picker's firmware variables and the installed system's keyboard preference.
#include "ui/flag_picker_state.h"

#include "draw/log_error.h"
#include "efi/efi.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "output/ascii_format.h"

namespace {

// Non-volatile, and boot-service access, without which firmware refuses a non-volatile
// variable.
constexpr UINT32 kFlagVariableAttributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;

constexpr CHAR16 kStateVariable[] = u"flagstate";
constexpr CHAR16 kArchiveVariable[] = u"flagarchiveID";
constexpr CHAR16 kPreferenceVariable[] = u"prev-lang:kbd";

}  // namespace

const INT32 kFlagLayoutNumbers[kFlagLayoutNumberCount] = {
    15,    92,    -49,    6,     71,    128,   2,     250,   29,    80,     12825, -68,   -69,   30776, 30778,
    9,     26,    16300,  16302, 16301, 16303, 30764, -47,   17,    -17,    -18,   1,     1111,  60,    3,
    -50,   30763, 30767,  -21,   50,    -500,  223,   4,     30765, 30761,  -501,  -51,   -1200, 12,    -12,
    -13,   30762, 30788,  10,    -39,   -38,   -1201, -19521, 30777, 30779, -66,  8,     87,    224,   7,
    -15,   18,    19,     -24,   -35,   -36,   0,     -2,    14999, -31232, -790,  0,
};

UINTN FlagPickerStateString(UINT32 number, const char* prefix, char out[kFlagStateSize]) {
  MemZero(out, kFlagStateSize);
  char text[64];
  UINTN length = AsciiSNPrint(text, sizeof(text), "%d_%s", number, prefix ? prefix : "");
  if (length >= kFlagStateSize) {
    DULogError("FlagPickerStateString", "state string too long");
    MemZero(out, kFlagStateSize);
    return 1;
  }
  MemCopy(out, text, length);
  return 0;
}

UINTN FlagPickerSaveState(const char state[kFlagStateSize], UINT32 archive_identifier) {
  EFI_STATUS status = gRT->SetVariable(const_cast<CHAR16*>(kStateVariable), const_cast<EFI_GUID*>(&TarnBootGuid),
                                       kFlagVariableAttributes, kFlagStateSize, const_cast<char*>(state));
  if (status != EFI_SUCCESS) {
    DULogError("_setUpPopUpButtonWithMenuItem", "SetVariable(flagstate) failed with err: %d", INT32(status));
    return 1;
  }
  UINT8 identifier[4];
  StoreLe32(identifier, archive_identifier);
  status = gRT->SetVariable(const_cast<CHAR16*>(kArchiveVariable), const_cast<EFI_GUID*>(&TarnBootGuid),
                            kFlagVariableAttributes, sizeof(identifier), identifier);
  if (status != EFI_SUCCESS) {
    DULogError("_setUpPopUpButtonWithMenuItem", "SetVariable(flagarchiveID) failed with err: %d", INT32(status));
    return 1;
  }
  return 0;
}

UINTN FlagPickerStoredState(UINT32 archive_identifier, char state[kFlagStateSize + 1]) {
  MemZero(state, kFlagStateSize + 1);
  UINTN size = kFlagStateSize;
  EFI_STATUS status = gRT->GetVariable(const_cast<CHAR16*>(kStateVariable), const_cast<EFI_GUID*>(&TarnBootGuid),
                                       nullptr, &size, state);
  if (status != EFI_SUCCESS) {
    MemZero(state, kFlagStateSize + 1);
    DULogError("UIFlagPickerRestoreState", "No state found for flagpicker");
    return 1;
  }
  UINT8 identifier[4] = {};
  size = sizeof(identifier);
  status = gRT->GetVariable(const_cast<CHAR16*>(kArchiveVariable), const_cast<EFI_GUID*>(&TarnBootGuid), nullptr,
                            &size, identifier);
  if (status != EFI_SUCCESS || size != sizeof(identifier)) {
    DULogError("UIFlagPickerRestoreState", "No state identifier found for flagpicker");
    return 1;
  }
  if (LoadLe32(identifier) != archive_identifier) {
    DULogError("UIFlagPickerRestoreState", "!!! stateIdentifier is stale, (stateIdentifier != flagPicker->archiveIdentifier) !!!");
    DULogError("UIFlagPickerRestoreState", "!!! WILL NOT BE ABLE TO RESTORE FLAG PICKER STATE !!!");
    return 1;
  }
  return 0;
}

UINTN FlagPickerParsePreference(const char* value, UINTN length, INT32* layout_number) {
  UINTN i = 0;
  while (i < length && value[i] != ':') ++i;
  if (i == length) return 1;
  ++i;
  while (i < length && (value[i] == '\t' || value[i] == ' ')) ++i;
  bool negative = i < length && value[i] == '-';
  if (negative) ++i;
  INT64 number = 0;
  UINTN digits = 0;
  for (; i < length && value[i] >= '0' && value[i] <= '9' && number < 0x7FFFFFFF; ++i, ++digits) {
    number = number * 10 + (value[i] - '0');
  }
  if (digits == 0 || number > 0x7FFFFFFF) return 1;
  *layout_number = INT32(negative ? -number : number);
  return 0;
}

UINTN FlagPickerStateFromPreference(char state[kFlagStateSize]) {
  char value[kFlagPrefValueMax];
  UINTN size = sizeof(value);
  EFI_STATUS status = gRT->GetVariable(const_cast<CHAR16*>(kPreferenceVariable), const_cast<EFI_GUID*>(&TarnBootGuid),
                                       nullptr, &size, value);
  INT32 number = 0;
  if (status == EFI_SUCCESS && size <= sizeof(value) && FlagPickerParsePreference(value, size, &number) == 0) {
    for (UINT32 position = 0; position < kFlagLayoutNumberCount; ++position) {
      if (kFlagLayoutNumbers[position] == number) return FlagPickerStateString(position, "flag_other", state);
    }
  }
  DULogError("UIFlagPickerRestoreStateFromIAPref", "No state found for IA Pref");
  return 1;
}
