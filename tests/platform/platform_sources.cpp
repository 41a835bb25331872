// The platform loader is its own EFI image and not part of the firmware library, so its
// modules are compiled into this test program here, once. main.cpp stays out: its efi_main
// would clash with hearth's.
#include "platform/console_control.cpp"
#include "platform/image_starter.cpp"
#include "platform/input_events.cpp"
#include "platform/platform_text.cpp"
#include "platform/qemu_exit.cpp"
#include "platform/serial_output.cpp"
#include "platform/settings.cpp"
#include "platform/settings_parser.cpp"
#include "platform/signature_service.cpp"
#include "platform/smc_service.cpp"
#include "platform/usb_tablet.cpp"
#include "platform/variable_setter.cpp"
#include "platform/volume_files.cpp"
