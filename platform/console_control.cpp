#include "platform/console_control.h"

#include "efi/protocols/graphics_output.h"
#include "efi/protocols/simple_text_output.h"
#include "efi/protocols/uga_draw.h"
#include "lib/host_reset.h"

namespace {

struct ConsoleControlState {
  EFI_CONSOLE_CONTROL_PROTOCOL protocol;
  EFI_HANDLE handle;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL wrapper;
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* original;  // the firmware's ConOut
  EFI_CONSOLE_CONTROL_SCREEN_MODE mode;
  bool installed;
};
ConsoleControlState gConsole = {};

void ResetConsoleControl() { gConsole = {}; }
HEARTH_HOST_RESET(ResetConsoleControl);

bool InGraphics() { return gConsole.mode == EfiConsoleControlScreenGraphics; }

void UpdateSystemTableCrc() {
  gST->Hdr.CRC32 = 0;
  UINT32 crc = 0;
  if (gBS->CalculateCrc32(gST, gST->Hdr.HeaderSize, &crc) == EFI_SUCCESS) gST->Hdr.CRC32 = crc;
}

// --- ConOut wrapper: forwards to the firmware's ConOut, drops drawing in graphics mode ----

EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* Original() { return gConsole.original; }

EFI_STATUS EFIAPI WrapReset(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, BOOLEAN extended) {
  if (InGraphics()) return EFI_SUCCESS;  // a reset clears the screen
  return Original()->Reset(Original(), extended);
}
EFI_STATUS EFIAPI WrapOutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, const CHAR16* text) {
  if (InGraphics()) return EFI_SUCCESS;
  return Original()->OutputString(Original(), text);
}
EFI_STATUS EFIAPI WrapTestString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, const CHAR16* text) {
  return Original()->TestString(Original(), text);
}
EFI_STATUS EFIAPI WrapQueryMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN mode, UINTN* columns, UINTN* rows) {
  return Original()->QueryMode(Original(), mode, columns, rows);
}
EFI_STATUS EFIAPI WrapSetMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN mode) {
  return Original()->SetMode(Original(), mode);
}
EFI_STATUS EFIAPI WrapSetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN attribute) {
  return Original()->SetAttribute(Original(), attribute);
}
EFI_STATUS EFIAPI WrapClearScreen(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*) {
  if (InGraphics()) return EFI_SUCCESS;
  return Original()->ClearScreen(Original());
}
EFI_STATUS EFIAPI WrapSetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN column, UINTN row) {
  return Original()->SetCursorPosition(Original(), column, row);
}
EFI_STATUS EFIAPI WrapEnableCursor(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, BOOLEAN visible) {
  if (InGraphics() && visible) return EFI_SUCCESS;  // a cursor would blink over the picture
  return Original()->EnableCursor(Original(), visible);
}

// --- The protocol --------------------------------------------------------------------------

bool GraphicsDeviceExists() {
  void* interface = nullptr;
  if (gBS->LocateProtocol(&kEfiGraphicsOutputProtocolGuid, nullptr, &interface) == EFI_SUCCESS) return true;
  return gBS->LocateProtocol(&kEfiUgaDrawProtocolGuid, nullptr, &interface) == EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetMode(EFI_CONSOLE_CONTROL_PROTOCOL*, EFI_CONSOLE_CONTROL_SCREEN_MODE* mode,
                          BOOLEAN* gop_uga_exists, BOOLEAN* std_in_locked) {
  if (!mode) return EFI_INVALID_PARAMETER;
  *mode = gConsole.mode;
  if (gop_uga_exists) *gop_uga_exists = GraphicsDeviceExists() ? TRUE : FALSE;
  if (std_in_locked) *std_in_locked = FALSE;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI SetMode(EFI_CONSOLE_CONTROL_PROTOCOL*, EFI_CONSOLE_CONTROL_SCREEN_MODE mode) {
  if (mode != EfiConsoleControlScreenText && mode != EfiConsoleControlScreenGraphics) return EFI_INVALID_PARAMETER;
  gConsole.mode = mode;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI LockStdIn(EFI_CONSOLE_CONTROL_PROTOCOL*, CHAR16*) { return EFI_UNSUPPORTED; }

void InstallWrapper() {
  gConsole.original = gST->ConOut;
  if (!gConsole.original) return;  // no console to guard
  gConsole.wrapper = EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL{
      WrapReset,      WrapOutputString,      WrapTestString,   WrapQueryMode,
      WrapSetMode,    WrapSetAttribute,      WrapClearScreen,  WrapSetCursorPosition,
      WrapEnableCursor, gConsole.original->Mode};
  gST->ConOut = &gConsole.wrapper;
  UpdateSystemTableCrc();
}

}  // namespace

EFI_STATUS InstallConsoleControl(bool start_in_graphics) {
  if (gConsole.installed) return EFI_ALREADY_STARTED;
  gConsole.protocol = EFI_CONSOLE_CONTROL_PROTOCOL{GetMode, SetMode, LockStdIn};
  gConsole.mode = start_in_graphics ? EfiConsoleControlScreenGraphics : EfiConsoleControlScreenText;
  gConsole.handle = nullptr;
  EFI_STATUS status = gBS->InstallProtocolInterface(&gConsole.handle, &kEfiConsoleControlProtocolGuid,
                                                    EFI_NATIVE_INTERFACE, &gConsole.protocol);
  if (EFI_ERROR(status)) return status;
  gConsole.installed = true;
  InstallWrapper();
  return EFI_SUCCESS;
}

void RemoveConsoleControl() {
  if (!gConsole.installed) return;
  if (gConsole.original && gST->ConOut == &gConsole.wrapper) {
    gST->ConOut = gConsole.original;
    UpdateSystemTableCrc();
  }
  gBS->UninstallProtocolInterface(gConsole.handle, &kEfiConsoleControlProtocolGuid, &gConsole.protocol);
  gConsole = {};
}

EFI_CONSOLE_CONTROL_PROTOCOL* ConsoleControlProtocol() { return gConsole.installed ? &gConsole.protocol : nullptr; }
