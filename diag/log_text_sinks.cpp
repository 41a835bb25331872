// The serial port and console sinks of the debug log.
#include "diag/log.h"
#include "diag/log_sinks.h"
#include "output/serial.h"
#include "efi/efi.h"
#include "efi/protocols/simple_text_output.h"
#include "lib/host_reset.h"

namespace {

UINT8 gSerialEnabled = 0;
UINT8 gConsoleEnabled = 0;

void ResetTextSinks() {
  gSerialEnabled = 0;
  gConsoleEnabled = 0;
}
HEARTH_HOST_RESET(ResetTextSinks);

}  // namespace

void SerialSinkEnable(UINT8 state) { gSerialEnabled = state == kLogSinkEnable; }

void SerialSinkWrite(UINT32, const char* text, UINTN length) {
  if (gSerialEnabled) SerialWrite(text, length);
}

void ConsoleSinkEnable(UINT8 state) { gConsoleEnabled = state == kLogSinkEnable; }

void ConsoleSinkWrite(UINT32, const char* text, UINTN length) {
  if (!gConsoleEnabled || !gST) return;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out = gST->ConOut ? gST->ConOut : gST->StdErr;
  if (!out) return;
  CHAR16 wide[kLogLineSize];
  UINTN n = length < kLogLineSize ? length : kLogLineSize - 1;
  for (UINTN i = 0; i < n; ++i) wide[i] = static_cast<UINT8>(text[i]);
  wide[n] = 0;
  out->OutputString(out, wide);
}
