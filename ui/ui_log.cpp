#include "ui/ui_log.h"

#include <stdarg.h>

#include "diag/log.h"
#include "output/ascii_format.h"

void UILogError(const char* operation, const char* format, ...) {
  char message[160];
  va_list args;
  va_start(args, format);
  UINTN length = AsciiVSNPrint(message, sizeof(message), format, args);
  va_end(args);
  bool ends_line = length > 0 && message[length - 1] == '\n';
  LogMessage(kLogCategoryError, ends_line ? "**** ERROR %s: %s" : "**** ERROR %s: %s\n", operation, message);
}
