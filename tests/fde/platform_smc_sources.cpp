// The platform loader's SMC stand-in and its settings directive are compiled in here: the
// loader is its own EFI image, outside the firmware library.
#include "platform/platform_text.cpp"
#include "platform/serial_output.cpp"
#include "platform/settings_parser.cpp"
#include "platform/smc_service.cpp"
