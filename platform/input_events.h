// Input stand-ins for generic firmware, each installed only when platform.cfg asks for it:
//
// - `input-events REVISION`: the maker's input-event protocol. Keys come from the firmware's
//   text input (what QEMU's sendkey reaches), the pointer from its simple pointer devices
//   or, when there are none, its absolute pointers (QEMU's USB tablet). With REVISION 7 or
//   more hearth uses it as it is; below 7 hearth replaces it with its own implementation.
// - `key-map`: the maker's key-map (key state) protocol that hearth's own implementation
//   polls, built on the same text input: each keystroke is reported held for one read and
//   released on the next.
// - `simple-pointer`: a simple pointer made from the first absolute pointer, for firmware
//   whose tablet offers nothing else.
#pragma once

#include "efi/efi.h"

void InputEventsRequest(UINTN revision);
void KeyMapRequest();
void SimplePointerRequest();

// Installs what was requested; reports each on the serial port.
void InstallInputStandIns();
void RemoveInputStandIns();
