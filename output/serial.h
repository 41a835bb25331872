// The first PC serial port, polled; used as the firmware left it (speed and framing).
#pragma once

#include "efi/types.h"

void SerialWrite(const char* text, UINTN length);
