// Failures of UI operations are logged as one line: "**** ERROR", the operation's own name
// and the message.
#pragma once

#include "efi/types.h"

void DULogError(const char* operation, const char* format, ...);
