#include "platform/qemu_exit.h"

#include "efi/protocols/simple_text_input.h"
#include "hw/hw.h"
#include "platform/serial_output.h"

namespace {
constexpr uint16_t kDebugExitPort = 0xF4;

// Drops keys typed earlier (by a scenario driving hearth) so that only a fresh one counts.
void DrainKeys(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* in) {
  EFI_INPUT_KEY key;
  for (int i = 0; in && i < 1024 && in->ReadKeyStroke(in, &key) == EFI_SUCCESS; ++i) {
  }
}

// Waits for a key or the timeout, whichever comes first.
void WaitForKeyOrTimeout(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* in, UINTN timeout_seconds) {
  EFI_EVENT timer = nullptr;
  if (gBS->CreateEvent(EVT_TIMER, 0, nullptr, nullptr, &timer) != EFI_SUCCESS) return;
  gBS->SetTimer(timer, TimerRelative, static_cast<UINT64>(timeout_seconds) * 10 * 1000 * 1000);
  EFI_EVENT events[2] = {timer, in ? in->WaitForKey : nullptr};
  UINTN index = 0;
  gBS->WaitForEvent(in ? 2 : 1, events, &index);
  gBS->CloseEvent(timer);
  EFI_INPUT_KEY key;
  if (in) in->ReadKeyStroke(in, &key);
}
}  // namespace

uint8_t QemuExitCode(EFI_STATUS status) {
  if (status == EFI_SUCCESS) return 0;
  uint8_t code = static_cast<uint8_t>(status & 0x3F);
  return EFI_ERROR(status) ? static_cast<uint8_t>(code | 0x40) : code;
}

void ExitQemu(EFI_STATUS status, UINTN timeout_seconds) {
  EFI_SIMPLE_TEXT_INPUT_PROTOCOL* in = gST->ConIn;
  DrainKeys(in);
  uint8_t code = QemuExitCode(status);
  // The harness watches for this line: it takes its screenshot, then presses a key.
  SerialWriteLine(PlatformText()
                      .Add("platform: waiting for a key, then ending QEMU with exit code ")
                      .AddDecimal((code << 1) | 1));
  WaitForKeyOrTimeout(in, timeout_seconds);
  HwOutPort8(kDebugExitPort, code);
}
