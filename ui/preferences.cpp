#include "ui/preferences.h"

#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/archive_image.h"

namespace {

// The first byte of a 4-byte value; a value of another size is logged and still used, an
// empty one gives the default.
UINT8 GetInt32Value(const SystemPreferences* preferences, const char* name, UINT8 fallback) {
  if (!preferences || !preferences->archive) return fallback;
  const void* data = nullptr;
  UINT32 length = 0;
  if (ArchiveGetData(preferences->archive, name, FALSE, &data, &length, FALSE) != kArchiveOk) return fallback;
  if (length != 4) DULogError("_SystemPreferencesGetInt32Value", "Size of filename:%s is expected to be 4 bytes\n", name);
  if (length == 0) return fallback;
  return *static_cast<const UINT8*>(data);
}

}  // namespace

UINTN SystemPreferencesCreate(SystemPreferences** out, const Archive* archive) {
  if (!out) {
    DULogError("SystemPreferencesCreate", "sysPref is NULL\n");
    return 1;
  }
  *out = nullptr;
  const void* data = nullptr;
  UINT32 length = 0;
  Archive* inner = nullptr;
  if (!archive || ArchiveGetData(archive, "preferences.efires", FALSE, &data, &length, TRUE) != kArchiveOk ||
      ArchiveCreate(data, length, &inner) != kArchiveOk) {
    DULogError("SystemPreferencesCreate", "Could not load preferences.efires\n");
    return 1;
  }
  auto* preferences = static_cast<SystemPreferences*>(PoolAllocateZero(sizeof(SystemPreferences)));
  if (!preferences) {
    ArchiveDestroy(inner);
    DULogError("SystemPreferencesCreate", "out of memory\n");
    return 1;
  }
  preferences->archive = inner;
  *out = preferences;
  return 0;
}

void SystemPreferencesDestroy(SystemPreferences* preferences) {
  if (!preferences) return;
  ArchiveDestroy(preferences->archive);
  PoolFree(preferences);
}

BOOLEAN SystemPreferencesIsInputMenuEnabled(const SystemPreferences* preferences) {
  return GetInt32Value(preferences, "preferences_isIMEnabled.int32", 1) ? TRUE : FALSE;
}

BOOLEAN SystemPreferencesShowGuest(const SystemPreferences* preferences) {
  return GetInt32Value(preferences, "preferences_showGuest.int32", 0) ? TRUE : FALSE;
}

DUView* SystemPreferencesCreateMessageRibbonView(const SystemPreferences* preferences) {
  if (!preferences || !preferences->archive) return nullptr;
  const char* name = "preferences_good_samaritan_message_ribbon.png";
  const void* data = nullptr;
  if (ArchiveGetData(preferences->archive, name, FALSE, &data, nullptr, FALSE) != kArchiveOk) return nullptr;
  return ArchiveViewCreateWithOptions(preferences->archive, name);
}
