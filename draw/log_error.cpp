#include "draw/log_error.h"

#include <stdarg.h>

#include "diag/log.h"
#include "output/ascii_format.h"

void DULogError(const char* operation, const char* format, ...) {
  char message[kLogLineSize];
  va_list args;
  va_start(args, format);
  AsciiVSNPrint(message, sizeof(message), format, args);
  va_end(args);
  LogMessage(kLogCategoryError, "**** ERROR %s: %s\n", operation, message);
}
