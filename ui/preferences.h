// System preferences of the login window: a few values in "preferences.efires", an archive
// kept inside the login window's archive.
#pragma once

#include "draw/view.h"
#include "ui/archive.h"

struct SystemPreferences {
  Archive* archive;  // over bytes of the enclosing archive, which must outlive it
};

// 0, or 1: "sysPref is NULL" for a null output, "Could not load preferences.efires" when the
// archive lacks it or it is malformed.
UINTN SystemPreferencesCreate(SystemPreferences** out, const Archive* archive);
void SystemPreferencesDestroy(SystemPreferences* preferences);
// "preferences_isIMEnabled.int32": the input menu is shown (default 1).
BOOLEAN SystemPreferencesIsInputMenuEnabled(const SystemPreferences* preferences);
// "preferences_showGuest.int32": the guest user is offered (default 0).
BOOLEAN SystemPreferencesShowGuest(const SystemPreferences* preferences);
// A view of "preferences_good_samaritan_message_ribbon.png", or null when there is none.
DUView* SystemPreferencesCreateMessageRibbonView(const SystemPreferences* preferences);
