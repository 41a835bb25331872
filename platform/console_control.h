// Stand-in for the maker's console control protocol. hearth asks for it at start to switch
// the console between text and graphics. While the mode is graphics, console text must stay
// off the screen (it would scribble over the boot pictures), so the stand-in puts a wrapper
// in front of the system table's ConOut that drops drawing calls in graphics mode.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/console_control.h"

// Installs the protocol on a new handle and the ConOut wrapper in the system table; the
// mode starts as text, or graphics as a machine that shows its logo at power-on does.
// Returns the status of the protocol installation.
[[nodiscard]] EFI_STATUS InstallConsoleControl(bool start_in_graphics = false);

// Puts the firmware's own ConOut back and removes the protocol, so that the loader's
// closing report reaches the screen whatever mode hearth left behind.
void RemoveConsoleControl();

// The installed protocol (null before InstallConsoleControl).
EFI_CONSOLE_CONTROL_PROTOCOL* ConsoleControlProtocol();
