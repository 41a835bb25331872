// Failure lines of the login toolkit: "**** ERROR", the failing operation's name and the
// message, in the error category of the debug log. UI operations log and return a non-zero
// result; their callers log in turn and carry on.
#pragma once

#include "efi/types.h"

// format follows the log's 8-bit engine (%s 8-bit text, %S UCS-2 text, %d, %x ...); a line
// break is added when the message has none.
void UILogError(const char* operation, const char* format, ...);
