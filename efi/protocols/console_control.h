// Console control protocol: switches the firmware console between text and graphics.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiConsoleControlProtocolGuid = {0xF42F7782, 0x012E, 0x4C12, {0x99, 0x56, 0x49, 0xF9, 0x43, 0x04, 0xF7, 0x21}};

enum EFI_CONSOLE_CONTROL_SCREEN_MODE : UINT32 {
  EfiConsoleControlScreenText = 0,
  EfiConsoleControlScreenGraphics = 1,
  EfiConsoleControlScreenMaxValue = 2,
};

struct EFI_CONSOLE_CONTROL_PROTOCOL {
  EFI_STATUS(EFIAPI* GetMode)(EFI_CONSOLE_CONTROL_PROTOCOL* This, EFI_CONSOLE_CONTROL_SCREEN_MODE* Mode,
                              BOOLEAN* GopUgaExists, BOOLEAN* StdInLocked);
  EFI_STATUS(EFIAPI* SetMode)(EFI_CONSOLE_CONTROL_PROTOCOL* This, EFI_CONSOLE_CONTROL_SCREEN_MODE Mode);
  EFI_STATUS(EFIAPI* LockStdIn)(EFI_CONSOLE_CONTROL_PROTOCOL* This, CHAR16* Password);
};
