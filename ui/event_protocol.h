// The input-event protocol as the login screen uses it: the firmware's own instance when it
// is recent enough (revision 7 or later), otherwise hearth's built-in implementation of the
// same interface, which polls the firmware's pointer devices (simple pointer protocol) every
// 2 ms and its key-map protocol every 10 ms and hands the events to the registered handlers
// at TPL_NOTIFY.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/tarn_event.h"

// Looks for the firmware's protocol; keeps it when its revision is 7 or later, else arms
// the built-in implementation (dispatch event, pointer-device notification, the image's
// unload handler) and makes it current. Fails with the firmware's status when there is no
// protocol at all. A second call changes nothing.
EFI_STATUS InstallTarnEventProtocol(EFI_HANDLE image_handle);

// Always succeeds: the firmware's instance when it was kept, else the built-in one.
EFI_STATUS ObtainCurrentTarnEventProtocol(TarnEventProtocol** out_protocol);

// Tears the built-in implementation down (timers, events, handler records, queued events).
// Also what the image's unload handler runs.
void RemoveTarnEventProtocol();
