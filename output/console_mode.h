// The console mode: text or graphics, switched through the console control protocol.
#pragma once

#include "efi/types.h"

constexpr UINT32 kConsoleModeGraphics = 1;
constexpr UINT32 kConsoleModeText = 2;

// Finds the console control protocol and remembers its mode as both current and at-start.
[[nodiscard]] EFI_STATUS InitConsoleMode();
// kConsoleModeGraphics or kConsoleModeText; the same mode again does nothing.
[[nodiscard]] EFI_STATUS SetConsoleMode(UINT32 mode);
// kConsoleModeGraphics when the console shows graphics, kConsoleModeText otherwise.
UINT32 GetConsoleMode();
// Puts the console back into the mode it had at start (failure path).
[[nodiscard]] EFI_STATUS RestoreConsoleMode();
