#include "output/error_report.h"

#include "efi/efi.h"
#include "output/ascii_format.h"
#include "output/console.h"
#include "output/serial.h"

EFI_STATUS ReportErrorV(EFI_STATUS status, const char* format, va_list args) {
  if (!gBS) {
    // Boot services are gone: the serial port is all that is left.
    char line[160];
    UINTN n = AsciiVSNPrint(line, sizeof(line), format, args);
    SerialWrite(line, n);
    return status;
  }
  ConsoleVPrint(format, args);
  return status;
}

EFI_STATUS ReportError(EFI_STATUS status, const char* format, ...) {
  va_list args;
  va_start(args, format);
  EFI_STATUS result = ReportErrorV(status, format, args);
  va_end(args);
  return result;
}
